// An in-process web server for one request: the ISAPI callbacks record what the filter did and fail
// on demand.
#pragma once

#include <optional>
#include <string>

#include "host/Isapi.h"

namespace pentrel::test {

struct Request {
  std::string url{};

  // Failures on demand.
  bool failGetHeader = false;         // FALSE without a size: some other failure
  isapi::BOOL setHeaderResult = 1;
  bool failAddResponseHeaders = false;
  bool failSendResponseHeader = false;
  bool failWriteClient = false;

  // What the filter did.
  std::optional<std::string> newUrl{};  // the last SetHeader("url")
  int setHeaderCalls = 0;
  std::string responseHeaders{};
  bool headerSent = false;
  std::string body{};
  std::string order{};               // A, S, W for the three response callbacks, in call order
};

class FakeHost {
 public:
  explicit FakeHost(Request& request);
  isapi::DWORD Send(isapi::PFN_HttpFilterProc proc,
                    isapi::DWORD type = isapi::SF_NOTIFY_PREPROC_HEADERS);

 private:
  Request& request_;
  isapi::HTTP_FILTER_CONTEXT context_{};
  isapi::HTTP_FILTER_PREPROC_HEADERS headers_{};
};

}  // namespace pentrel::test
