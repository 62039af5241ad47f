// The per-call wrapper around the host's HTTP_FILTER_CONTEXT that the filter base hands to handlers.
#pragma once

#include "Isapi.h"

namespace pentrel::host {

class CHttpFilterContext {
 public:
  explicit CHttpFilterContext(isapi::PHTTP_FILTER_CONTEXT pfc) : m_pFC(pfc) {}
  CHttpFilterContext(const CHttpFilterContext&) = delete;
  CHttpFilterContext& operator=(const CHttpFilterContext&) = delete;

  isapi::PHTTP_FILTER_CONTEXT Raw() const { return m_pFC; }

  isapi::BOOL AddResponseHeaders(const char* headers, isapi::DWORD reserved) const {
    return m_pFC->AddResponseHeaders(m_pFC, const_cast<char*>(headers), reserved);
  }
  isapi::BOOL WriteClient(const void* buffer, isapi::LPDWORD bytes, isapi::DWORD reserved) const {
    return m_pFC->WriteClient(m_pFC, const_cast<void*>(buffer), bytes, reserved);
  }
  isapi::BOOL ServerSupportFunction(isapi::SF_REQ_TYPE request, isapi::PVOID data,
                                    isapi::ULONG_PTR ul1, isapi::ULONG_PTR ul2) const {
    return m_pFC->ServerSupportFunction(m_pFC, request, data, ul1, ul2);
  }

 private:
  isapi::PHTTP_FILTER_CONTEXT m_pFC;
};

}  // namespace pentrel::host
