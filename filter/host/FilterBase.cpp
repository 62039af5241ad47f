#include "FilterBase.h"

#include <atomic>

namespace pentrel::host {

namespace {
// Written only while the library loads and unloads; read by every request thread.
std::atomic<CHttpFilter*> g_registered{nullptr};
}  // namespace

CHttpFilter::CHttpFilter() { g_registered.store(this, std::memory_order_release); }

CHttpFilter::~CHttpFilter() { g_registered.store(nullptr, std::memory_order_release); }

CHttpFilter* CHttpFilter::Registered() { return g_registered.load(std::memory_order_acquire); }

isapi::DWORD CHttpFilter::HttpFilterProc(isapi::PHTTP_FILTER_CONTEXT pfc,
                                         isapi::DWORD notificationType, isapi::LPVOID notification) {
  CHttpFilterContext context(pfc);
  switch (notificationType) {
    case isapi::SF_NOTIFY_READ_RAW_DATA: return OnReadRawData(&context, notification);
    case isapi::SF_NOTIFY_PREPROC_HEADERS:
      return OnPreprocHeaders(&context, static_cast<isapi::PHTTP_FILTER_PREPROC_HEADERS>(notification));
    case isapi::SF_NOTIFY_AUTHENTICATION: return OnAuthentication(&context, notification);
    case isapi::SF_NOTIFY_URL_MAP: return OnUrlMap(&context, notification);
    case isapi::SF_NOTIFY_SEND_RAW_DATA: return OnSendRawData(&context, notification);
    case isapi::SF_NOTIFY_LOG: return OnLog(&context, notification);
    case isapi::SF_NOTIFY_END_OF_NET_SESSION: return OnEndOfNetSession(&context);
    default: return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}

isapi::BOOL CHttpFilter::GetFilterVersion(isapi::PHTTP_FILTER_VERSION pVersion) {
  pVersion->dwFlags = isapi::SF_NOTIFY_ORDER_DEFAULT;
  pVersion->dwFilterVersion = isapi::HTTP_FILTER_REVISION;
  pVersion->lpszFilterDesc[0] = '\0';
  return isapi::TRUE;
}

isapi::DWORD CHttpFilter::OnReadRawData(CHttpFilterContext*, isapi::LPVOID) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnPreprocHeaders(CHttpFilterContext*, isapi::PHTTP_FILTER_PREPROC_HEADERS) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnAuthentication(CHttpFilterContext*, isapi::LPVOID) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnUrlMap(CHttpFilterContext*, isapi::LPVOID) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnSendRawData(CHttpFilterContext*, isapi::LPVOID) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnLog(CHttpFilterContext*, isapi::LPVOID) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}
isapi::DWORD CHttpFilter::OnEndOfNetSession(CHttpFilterContext*) {
  return isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace pentrel::host
