// One request as a web server presents it to a filter: the filter context and the preprocessed
// headers record with their callbacks, each of which can be told to fail.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Isapi.h"

namespace pentrel::tools {

struct Failures {
  bool getHeader = false;
  bool setHeader = false;
  bool addHeaders = false;
  bool sendHeaders = false;
  bool write = false;
};

class FakeRequest {
 public:
  FakeRequest(std::string url, std::vector<std::pair<std::string, std::string>> headers,
              Failures failures);
  FakeRequest(const FakeRequest&) = delete;
  FakeRequest& operator=(const FakeRequest&) = delete;

  isapi::HTTP_FILTER_CONTEXT* Context() { return &context_; }
  isapi::HTTP_FILTER_PREPROC_HEADERS* Headers() { return &preproc_; }

  const std::string& OriginalUrl() const { return originalUrl_; }
  const std::string& Url() const { return url_; }
  // Every callback the filter made, in order, one line each.
  const std::vector<std::string>& Calls() const { return calls_; }
  // What the filter sent: the response header block (if it had one sent) and the body.
  bool HeadersSent() const { return headersSent_; }
  std::string ResponseHead() const;
  const std::string& Body() const { return body_; }
  bool WroteAnything() const { return headersSent_ || !body_.empty(); }

 private:
  static FakeRequest& From(isapi::HTTP_FILTER_CONTEXT* pfc);
  static isapi::BOOL PENTREL_WINAPI GetServerVariable(isapi::HTTP_FILTER_CONTEXT*, isapi::LPSTR,
                                                      isapi::LPVOID, isapi::LPDWORD);
  static isapi::BOOL PENTREL_WINAPI AddResponseHeaders(isapi::HTTP_FILTER_CONTEXT*, isapi::LPSTR,
                                                       isapi::DWORD);
  static isapi::BOOL PENTREL_WINAPI WriteClient(isapi::HTTP_FILTER_CONTEXT*, isapi::LPVOID,
                                                isapi::LPDWORD, isapi::DWORD);
  static void* PENTREL_WINAPI AllocMem(isapi::HTTP_FILTER_CONTEXT*, isapi::DWORD, isapi::DWORD);
  static isapi::BOOL PENTREL_WINAPI ServerSupportFunction(isapi::HTTP_FILTER_CONTEXT*,
                                                          isapi::SF_REQ_TYPE, isapi::PVOID,
                                                          isapi::ULONG_PTR, isapi::ULONG_PTR);
  static isapi::BOOL PENTREL_WINAPI GetHeader(isapi::HTTP_FILTER_CONTEXT*, isapi::LPSTR,
                                              isapi::LPVOID, isapi::LPDWORD);
  static isapi::BOOL PENTREL_WINAPI SetHeader(isapi::HTTP_FILTER_CONTEXT*, isapi::LPSTR,
                                              isapi::LPSTR);
  static isapi::BOOL PENTREL_WINAPI AddHeader(isapi::HTTP_FILTER_CONTEXT*, isapi::LPSTR,
                                              isapi::LPSTR);

  const std::string* FindHeader(const std::string& name) const;
  void Record(std::string call, isapi::BOOL result);

  isapi::HTTP_FILTER_CONTEXT context_{};
  isapi::HTTP_FILTER_PREPROC_HEADERS preproc_{};
  Failures failures_;
  std::string originalUrl_;
  std::string url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::vector<std::string> calls_;
  std::string extraResponseHeaders_;  // from AddResponseHeaders, sent with the header block
  std::string sentHeaders_;           // the block as the filter had it sent
  std::string status_ = "200 OK";
  bool headersSent_ = false;
  std::string body_;
  std::deque<std::unique_ptr<char[]>> allocations_;
};

// A readable name for a filter status code ("SF_STATUS_REQ_NEXT_NOTIFICATION").
std::string StatusName(isapi::DWORD status);

}  // namespace pentrel::tools
