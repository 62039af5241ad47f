// The answer while the UPS runs on battery: the wrapper page around the requested URL.
#include <string>

#include "UpsStatusFilter.h"

namespace {

// The URL comes from the client: it must not be able to add markup to the site's page.
void AppendHtmlEscaped(std::string& page, const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '&': page += "&amp;"; break;
      case '<': page += "&lt;"; break;
      case '>': page += "&gt;"; break;
      case '"': page += "&quot;"; break;
      case '\'': page += "&#39;"; break;
      default: page += *c;
    }
  }
}

}  // namespace

int CUpsStatusFilter::SendWrappedPage(pentrel::host::CHttpFilterContext* pfc, const char* url) {
  int result = 1;
  WriteTrace("Begin new handling");
  std::string page;
  WriteTrace("Before strcpy");
  page = m_wrapperPrefix;
  AppendHtmlEscaped(page, url);
  page += m_wrapperSuffix;
  isapi::DWORD length = static_cast<isapi::DWORD>(page.size());

  if (!pfc->AddResponseHeaders("Content-type: text/html", 0)) {
    WriteTrace("AddResponseHeaders failed ->Content-type not set ok");
    result = 0;
  }
  if (!pfc->ServerSupportFunction(isapi::SF_REQ_SEND_RESPONSE_HEADER, nullptr, 0, 0)) {
    WriteTrace("ServerSupportFunction failed!");
    result = 0;
  }
  if (!pfc->WriteClient(page.data(), &length, 0)) {
    WriteTrace("WriteClient failed!");
    result = 0;
  }
  return result;
}
