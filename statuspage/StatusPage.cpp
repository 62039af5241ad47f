#include "StatusPage.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "QueryValue.h"
#include <pentrel/platform/StdoutText.h>

namespace {

// An absent QUERY_STRING (no status lines) differs from an empty one (on battery, no figure).
std::optional<std::string> ReadQueryText() {
  const char* query = std::getenv("QUERY_STRING");
  if (query == nullptr) return std::nullopt;
  return std::string(query);
}

}  // namespace

CStatusPage::CStatusPage() {
  using pentrel::platform::WriteStdoutLine;
  try {
    const std::optional<std::string> query = ReadQueryText();

    WriteStdoutLine("Content-type: text/html");
    WriteStdoutLine("");  // closes the CGI header block
    WriteStdoutLine("");
    WriteStdoutLine("<meta http-equiv=\"Refresh\" content=\"15\">");
    WriteStdoutLine("<HTML><HEAD><TITLE>Server NO err</TITLE>");
    WriteStdoutLine("</HEAD> ");
    WriteStdoutLine("<BODY BGCOLOR=WHITE>");
    if (query) {
      // The filter sends -1 while the UPS is on line and the minutes of runtime otherwise.
      if (pentrel::statuspage::ConvertQueryValue(*query) == -1) {
        WriteStdoutLine("<IMG SRC=\"/pentrel/online.gif\" ALIGN=RIGHT BORDER=0>");
        WriteStdoutLine("<B><FONT SIZE=4> UPS On Line!  </FONT></B>");
      } else {
        WriteStdoutLine("<IMG SRC=\"/pentrel/onbattery.gif\" ALIGN=RIGHT BORDER=0>");
        // Anyone can request the program with a query of their own, so the text is escaped.
        const std::string shown = pentrel::statuspage::EscapeHtml(*query);
        WriteStdoutLine("<B><FONT SIZE=4> Runtime remaining: " + shown + " minutes </FONT></B>");
      }
    }
    WriteStdoutLine("</BODY></HTML>");
  } catch (...) {
    // Only allocation can fail here; the program still ends with status 0 and whatever was written.
  }
}

// Built during static initialisation, so the page is out before main runs.
static CStatusPage g_statusPage;
