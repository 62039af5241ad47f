// The decision for each request: pass it, rewrite its URL, or answer it with the wrapper page.
#include <cstring>
#include <string>
#include <vector>

#include "UpsStatusFilter.h"
#include "diag/PT_Exception.h"

using namespace pentrel::filter;
using pentrel::host::CHttpFilterContext;

namespace {

constexpr const char* kExtensions[] = {".htm", ".html", ".cgi", ".exe"};
constexpr const char* kMarker = ".orv";
constexpr std::size_t kMarkerLength = 4;
constexpr const char* kStatusProgram = "pt_notfy.exe";

// The special header name that stands for the request line's URL; the host takes it as writable.
char kUrlHeaderName[] = "url";

}  // namespace

isapi::DWORD CUpsStatusFilter::OnPreprocHeaders(CHttpFilterContext* pfc,
                                                isapi::PHTTP_FILTER_PREPROC_HEADERS headers) {
  WriteTrace("PHTTP_FILTER_PREPROC_HEADERS");
  isapi::DWORD status = isapi::SF_STATUS_REQ_NEXT_NOTIFICATION;
  try {
    WriteTrace("Inside try");
    if (GetError() == 0) {
      WriteTrace("Inside GetError");
      char url[kUrlBufferSize] = {};
      GetUrlHeader(pfc, headers, url);
      WriteTrace("After GetURlHeader");
      if (CheckIsValidExtension(url) == 1) {
        WriteTrace("Inside CheckIsValidExtension");
        const char* marker = std::strstr(url, kMarker);
        if (marker == nullptr) {
          WriteTrace("No .orv");
          if (IsUpsOnBattery() == 1) {
            WriteTrace("Begin new handling");
            WriteTrace("Before strcpy");
            status = SendWrappedPage(pfc, url) == 1 ? isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN
                                                    : isapi::SF_STATUS_REQ_ERROR;
          }
        } else {
          WriteTrace("Takeaway .orv from header text");
          // Room for the status program's query beyond the longest URL that can be read.
          char rewritten[kUrlBufferSize + kCgiQueryRoom] = {};
          AppendBounded(rewritten, std::string_view(url, static_cast<std::size_t>(marker - url)));
          AppendBounded(rewritten, marker + kMarkerLength);
          if (std::strstr(rewritten, kStatusProgram) != nullptr) {
            WriteTrace("PT_CGI found");
            AppendUpsInfoToCgiUrl(rewritten);
            SetUrlHeader(pfc, headers, std::string(rewritten));
          } else {
            SetUrlHeader(pfc, headers, static_cast<const char*>(rewritten));
          }
          WriteTrace("newURLHeader");
          WriteTrace(rewritten);
        }
      }
    }
  } catch (PT_Exception e) {
    SetError();
    e.ReportError();
  } catch (const char* text) {
    WriteTrace(text);
  } catch (UrlDoesNotFit) {
    // A long URL is the client's doing: pass this request without latching the filter off.
  }
  WriteTrace("END of Proc");
  return status;
}

int CUpsStatusFilter::GetUrlHeader(CHttpFilterContext* pfc,
                                   isapi::PHTTP_FILTER_PREPROC_HEADERS headers, std::span<char> url) {
  isapi::DWORD size = static_cast<isapi::DWORD>(url.size());
  WriteTrace(std::to_string(size).c_str());
  WriteTrace("GetUrlHeader");
  if (headers->GetHeader(pfc->Raw(), kUrlHeaderName, url.data(), &size) == 1) {
    url.back() = '\0';
    WriteTrace(url.data());
  } else {
    WriteTrace("Failed to Get Header SEVERE");
    if (size > url.size()) throw UrlDoesNotFit{};
    throw PT_Exception("Failed to Get Header SEVERE");
  }
  WriteTrace("After GetUrlHeader");
  return 1;
}

int CUpsStatusFilter::SetUrlHeader(CHttpFilterContext* pfc,
                                   isapi::PHTTP_FILTER_PREPROC_HEADERS headers, const char* url) {
  WriteTrace("SetUrlHeader");
  if (headers->SetHeader(pfc->Raw(), kUrlHeaderName, const_cast<char*>(url)) == 1) {
    WriteTrace(url);
    return 1;
  }
  WriteTrace("Failed to Set Header SEVERE");
  throw PT_Exception("Failed to Set Header SEVERE");
}

int CUpsStatusFilter::SetUrlHeader(CHttpFilterContext* pfc,
                                   isapi::PHTTP_FILTER_PREPROC_HEADERS headers, std::string url) {
  std::vector<char> copy(url.c_str(), url.c_str() + url.size() + 1);
  const isapi::BOOL ok = headers->SetHeader(pfc->Raw(), kUrlHeaderName, copy.data());
  copy.clear();
  if (ok != 0) return 1;
  WriteTrace("Failed to Set Header SEVERE");
  throw PT_Exception("Failed to Set Header SEVERE");
}

int CUpsStatusFilter::CheckIsValidExtension(char* url) {
  for (char* c = url; *c != '\0'; ++c)
    if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  for (const char* extension : kExtensions)
    if (std::strstr(url, extension) != nullptr) return 1;
  return 0;
}
