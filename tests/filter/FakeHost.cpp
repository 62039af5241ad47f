#include "FakeHost.h"

#include <cstring>

#include "host/HostContract.h"

namespace pentrel::test {

namespace {

Request& Of(isapi::HTTP_FILTER_CONTEXT* pfc) { return *static_cast<Request*>(pfc->ServerContext); }

isapi::BOOL GetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR name, isapi::LPVOID buffer,
                      isapi::LPDWORD size) {
  Request& r = Of(pfc);
  if (r.failGetHeader || std::strcmp(name, "url") != 0) return isapi::FALSE;
  return pentrel::host::CopyOutText(r.url, buffer, size);
}

isapi::BOOL SetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR name, isapi::LPSTR value) {
  Request& r = Of(pfc);
  ++r.setHeaderCalls;
  if (std::strcmp(name, "url") != 0) return isapi::FALSE;
  if (r.setHeaderResult != 0) r.newUrl = value;
  return r.setHeaderResult;
}

isapi::BOOL AddResponseHeaders(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR headers, isapi::DWORD) {
  Request& r = Of(pfc);
  r.order += 'A';
  if (r.failAddResponseHeaders) return isapi::FALSE;
  r.responseHeaders += headers;
  return isapi::TRUE;
}

isapi::BOOL WriteClient(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPVOID buffer, isapi::LPDWORD bytes,
                        isapi::DWORD) {
  Request& r = Of(pfc);
  r.order += 'W';
  if (r.failWriteClient) return isapi::FALSE;
  r.body.append(static_cast<const char*>(buffer), *bytes);
  return isapi::TRUE;
}

isapi::BOOL ServerSupportFunction(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::SF_REQ_TYPE request,
                                  isapi::PVOID data, isapi::ULONG_PTR, isapi::ULONG_PTR) {
  Request& r = Of(pfc);
  r.order += 'S';
  if (r.failSendResponseHeader || request != isapi::SF_REQ_SEND_RESPONSE_HEADER || data != nullptr)
    return isapi::FALSE;
  r.headerSent = true;
  return isapi::TRUE;
}

}  // namespace

FakeHost::FakeHost(Request& request) : request_(request) {
  context_.cbSize = sizeof context_;
  context_.Revision = isapi::HTTP_FILTER_REVISION;
  context_.ServerContext = &request_;
  context_.AddResponseHeaders = AddResponseHeaders;
  context_.WriteClient = WriteClient;
  context_.ServerSupportFunction = ServerSupportFunction;
  headers_.GetHeader = GetHeader;
  headers_.SetHeader = SetHeader;
}

isapi::DWORD FakeHost::Send(isapi::PFN_HttpFilterProc proc, isapi::DWORD type) {
  return proc(&context_, type, &headers_);
}

}  // namespace pentrel::test
