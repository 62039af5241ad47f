// The request filter: lets every request pass while the UPS is on line and answers page and program
// requests with the site's wrapper page while it runs on battery.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "host/FilterBase.h"

class CUpsStatusFilter final : public pentrel::host::CHttpFilter {
 public:
  CUpsStatusFilter();
  ~CUpsStatusFilter();

  isapi::BOOL GetFilterVersion(isapi::PHTTP_FILTER_VERSION pVersion) override;
  isapi::DWORD OnPreprocHeaders(pentrel::host::CHttpFilterContext* pfc,
                                isapi::PHTTP_FILTER_PREPROC_HEADERS headers) override;

  int GetError() const;
  void SetError();

  // Request handling.
  int GetUrlHeader(pentrel::host::CHttpFilterContext* pfc, isapi::PHTTP_FILTER_PREPROC_HEADERS headers,
                   std::span<char> url);
  int SetUrlHeader(pentrel::host::CHttpFilterContext* pfc, isapi::PHTTP_FILTER_PREPROC_HEADERS headers,
                   const char* url);
  int SetUrlHeader(pentrel::host::CHttpFilterContext* pfc, isapi::PHTTP_FILTER_PREPROC_HEADERS headers,
                   std::string url);
  int CheckIsValidExtension(char* url);

  // UPS status link.
  int IsUpsOnBattery();
  int AppendUpsInfoToCgiUrl(std::span<char> url);

  // Wrapped page.
  int SendWrappedPage(pentrel::host::CHttpFilterContext* pfc, const char* url);

  void WriteTrace(const char* message) const;

 private:
  void Initialise();
  void CleanUp();

  std::string m_wrapperSuffix;
  std::string m_wrapperPrefix;
  // Set from any request thread without a lock; only ever goes from 0 to 1.
  std::atomic<std::int32_t> m_error;
};

namespace pentrel::filter {

// Sizes fixed by the filter's design.
inline constexpr std::size_t kUrlBufferSize = 500;
inline constexpr std::size_t kItemBufferSize = 20;
inline constexpr std::size_t kRuntimeBufferSize = 8;
// What AppendUpsInfoToCgiUrl may add: "?" and up to 7 characters of runtime.
inline constexpr std::size_t kCgiQueryRoom = 1 + kRuntimeBufferSize - 1;
inline constexpr const char* kVersionText = "1.0";
inline constexpr const char* kFilterDescription = "pentrel Filter";

// Thrown by GetUrlHeader when the URL does not fit its buffer: the request passes, nothing latches.
struct UrlDoesNotFit {};

// A bounded append of `text` to the zero-terminated text in `buffer`; false (and nothing written)
// when the result with its terminator would not fit.
bool AppendBounded(std::span<char> buffer, std::string_view text);

}  // namespace pentrel::filter
