// An ISAPI filter that exercises the host's callbacks on request, one URL per case, and answers
// with what it saw. Built a second time with PROBE_REFUSE to refuse registration.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/Isapi.h"

using namespace isapi;

namespace {

DWORD Answer(HTTP_FILTER_CONTEXT* pfc, const std::string& body, DWORD status) {
  char type[] = "Content-Type: text/plain\r\n";
  pfc->AddResponseHeaders(pfc, type, 0);
  pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, nullptr, 0, 0);
  DWORD length = static_cast<DWORD>(body.size());
  pfc->WriteClient(pfc, const_cast<char*>(body.data()), &length, 0);
  return status;
}

DWORD Preproc(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  char url[512];
  DWORD size = sizeof url;
  char urlName[] = "url";
  if (headers->GetHeader(pfc, urlName, url, &size) != TRUE) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const std::string path(url);

  if (path.starts_with("/probe/size")) {
    char tiny[4];
    DWORD tinySize = sizeof tiny;
    const BOOL ok = headers->GetHeader(pfc, urlName, tiny, &tinySize);
    return Answer(pfc, "ok=" + std::to_string(ok) + " needed=" + std::to_string(tinySize),
                  SF_STATUS_REQ_FINISHED_KEEP_CONN);
  }
  if (path == "/probe/header") {
    char name[] = "X-Probe:";
    char value[64] = "";
    DWORD valueSize = sizeof value;
    const BOOL ok = headers->GetHeader(pfc, name, value, &valueSize);
    return Answer(pfc, "ok=" + std::to_string(ok) + " value=" + value,
                  SF_STATUS_REQ_FINISHED_KEEP_CONN);
  }
  if (path == "/probe/error") return SF_STATUS_REQ_ERROR;
  if (path == "/probe/finished") return Answer(pfc, "finished", SF_STATUS_REQ_FINISHED);
  if (path == "/probe/status") {
    char status[] = "302 Moved";
    char more[] = "Location: /index.htm\r\nX-Probe: yes\r\n";
    pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, status,
                               reinterpret_cast<ULONG_PTR>(more), 0);
    return SF_STATUS_REQ_FINISHED_KEEP_CONN;
  }
  if (path == "/probe/badheaders") {
    char bad[] = "no colon here\r\n";
    const BOOL ok = pfc->AddResponseHeaders(pfc, bad, 0);
    return Answer(pfc, "ok=" + std::to_string(ok), SF_STATUS_REQ_FINISHED_KEEP_CONN);
  }
  if (path == "/probe/rewrite") {
    char to[] = "/about.htm?from=probe";
    headers->SetHeader(pfc, urlName, to);
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  if (path == "/probe/escape") {
    char to[] = "/a/../../../etc/passwd";
    headers->SetHeader(pfc, urlName, to);
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  if (path == "/probe/absolute") {
    char to[] = "http://elsewhere.example/index.htm";
    const BOOL ok = headers->SetHeader(pfc, urlName, to);
    return Answer(pfc, "ok=" + std::to_string(ok), SF_STATUS_REQ_FINISHED_KEEP_CONN);
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace

extern "C" {

PENTREL_EXPORT BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) {
#ifdef PROBE_REFUSE
  (void)version;
  return FALSE;
#else
  version->dwFilterVersion = HTTP_FILTER_REVISION;
  std::snprintf(version->lpszFilterDesc, sizeof version->lpszFilterDesc, "probe");
  version->dwFlags = SF_NOTIFY_ORDER_HIGH | SF_NOTIFY_PREPROC_HEADERS | SF_NOTIFY_NONSECURE_PORT;
  return TRUE;
#endif
}

PENTREL_EXPORT DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, void* data) {
  if (type != SF_NOTIFY_PREPROC_HEADERS) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  return Preproc(pfc, static_cast<HTTP_FILTER_PREPROC_HEADERS*>(data));
}
}
