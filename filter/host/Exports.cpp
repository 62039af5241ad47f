// The two functions the web server calls, forwarding to the registered filter. Nothing may escape
// to the host: a failure inside lets the request pass.
#include "FilterBase.h"

extern "C" {

PENTREL_EXPORT isapi::BOOL PENTREL_WINAPI GetFilterVersion(isapi::PHTTP_FILTER_VERSION pVer) {
  try {
    auto* filter = pentrel::host::CHttpFilter::Registered();
    return filter != nullptr ? filter->GetFilterVersion(pVer) : isapi::FALSE;
  } catch (...) {
    return isapi::FALSE;
  }
}

PENTREL_EXPORT isapi::DWORD PENTREL_WINAPI HttpFilterProc(isapi::PHTTP_FILTER_CONTEXT pfc,
                                                          isapi::DWORD notificationType,
                                                          isapi::LPVOID pvNotification) {
  try {
    auto* filter = pentrel::host::CHttpFilter::Registered();
    if (filter == nullptr) return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
    return filter->HttpFilterProc(pfc, notificationType, pvNotification);
  } catch (...) {
    return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}

}  // extern "C"
