// One request seen through the ISAPI filter interface: the callbacks a filter gets for an Apache
// request_rec, and the translation of the filter's status code into the hook's result.
#pragma once

#include "host/Isapi.h"

struct request_rec;

namespace pentrel::apache {

class RequestBridge {
 public:
  // pFilterContext is the filter's per-connection pointer, kept across the connection's requests.
  RequestBridge(request_rec* r, void* pFilterContext);
  RequestBridge(const RequestBridge&) = delete;
  RequestBridge& operator=(const RequestBridge&) = delete;

  isapi::HTTP_FILTER_CONTEXT* Context() { return &m_context; }
  isapi::HTTP_FILTER_PREPROC_HEADERS* PreprocHeaders() { return &m_preproc; }
  void* FilterContextPointer() const { return m_context.pFilterContext; }

  // The translate_name result for the filter's answer: DECLINED to map the (possibly rewritten)
  // URL, DONE when the filter has answered, or an HTTP error status.
  int Finish(isapi::DWORD status);

 private:
  static RequestBridge& Of(isapi::HTTP_FILTER_CONTEXT* pfc);

  static isapi::BOOL GetServerVariable(isapi::HTTP_FILTER_CONTEXT*, char*, void*, isapi::DWORD*);
  static isapi::BOOL AddResponseHeaders(isapi::HTTP_FILTER_CONTEXT*, char*, isapi::DWORD);
  static isapi::BOOL WriteClient(isapi::HTTP_FILTER_CONTEXT*, void*, isapi::DWORD*, isapi::DWORD);
  static void* AllocMem(isapi::HTTP_FILTER_CONTEXT*, isapi::DWORD, isapi::DWORD);
  static isapi::BOOL ServerSupportFunction(isapi::HTTP_FILTER_CONTEXT*, isapi::SF_REQ_TYPE, void*,
                                           isapi::ULONG_PTR, isapi::ULONG_PTR);
  static isapi::BOOL GetHeader(isapi::HTTP_FILTER_CONTEXT*, char*, void*, isapi::DWORD*);
  static isapi::BOOL SetHeader(isapi::HTTP_FILTER_CONTEXT*, char*, char*);
  static isapi::BOOL AddHeader(isapi::HTTP_FILTER_CONTEXT*, char*, char*);

  bool SetUrl(const char* url);
  bool AddHeaderLines(const char* text);

  request_rec* m_r;
  isapi::HTTP_FILTER_CONTEXT m_context{};
  isapi::HTTP_FILTER_PREPROC_HEADERS m_preproc{};
  bool m_headerSent = false;
  bool m_bodyWritten = false;
  int m_urlStatus = 0;  // OK, or the error the rewritten URL gives when mapped
};

}  // namespace pentrel::apache
