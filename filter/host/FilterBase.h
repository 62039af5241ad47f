// The filter base of a filter library: one registered filter object per library, the routing of
// each notification to its handler, and defaults that let every notification pass.
#pragma once

#include "FilterContext.h"
#include "Isapi.h"

namespace pentrel::host {

class CHttpFilter {
 public:
  CHttpFilter(const CHttpFilter&) = delete;
  CHttpFilter& operator=(const CHttpFilter&) = delete;

  // The virtual slots, in this order.
  virtual isapi::DWORD HttpFilterProc(isapi::PHTTP_FILTER_CONTEXT pfc, isapi::DWORD notificationType,
                                      isapi::LPVOID notification);
  virtual isapi::BOOL GetFilterVersion(isapi::PHTTP_FILTER_VERSION pVersion);
  virtual isapi::DWORD OnReadRawData(CHttpFilterContext* pfc, isapi::LPVOID rawData);
  virtual isapi::DWORD OnPreprocHeaders(CHttpFilterContext* pfc,
                                        isapi::PHTTP_FILTER_PREPROC_HEADERS headers);
  virtual isapi::DWORD OnAuthentication(CHttpFilterContext* pfc, isapi::LPVOID authentication);
  virtual isapi::DWORD OnUrlMap(CHttpFilterContext* pfc, isapi::LPVOID urlMap);
  virtual isapi::DWORD OnSendRawData(CHttpFilterContext* pfc, isapi::LPVOID rawData);
  virtual isapi::DWORD OnLog(CHttpFilterContext* pfc, isapi::LPVOID log);
  virtual isapi::DWORD OnEndOfNetSession(CHttpFilterContext* pfc);

  // The library's one filter object, or null before construction and after destruction.
  static CHttpFilter* Registered();

 protected:
  // Registers the object as the very first step of its construction...
  CHttpFilter();
  // ...and clears the registration as the very last step of its destruction. Not virtual: the one
  // object is a static of its own class and is never deleted through a base pointer.
  ~CHttpFilter();
};

}  // namespace pentrel::host
