// Request handling: every path of the per-request decision, its trace lines, results and failures.
#include <cstdlib>
#include <functional>

#include "FilterFixture.h"

namespace pentrel::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kHeaderReadFailure = "Failed to Get Header SEVERE";
const std::string kHeaderWriteFailure = "Failed to Set Header SEVERE";
const std::string kRuntimeFailure =
    "Communications with the ups service failed unexpectedly (OrvGet RUN_TIME_REMAINING Failed)";
const std::string kStateFailure =
    "Communications with the ups service failed unexpectedly (OrvGet UPS_STATE Failed)";
const Lines kWrapped = {"Begin new handling", "Before strcpy", "Begin new handling", "Before strcpy"};
const Lines kOnLine = {"LINE GOOD", "0"};
const Lines kOnBattery = {"LINE_BAD == 0!"};

struct RequestCase {
  const char* name;
  std::string url;
  std::function<void()> ups;
  std::function<void(Request&)> host;  // failures on demand
  isapi::DWORD status;
  Lines lines;
  std::optional<std::string> newUrl;
  std::string body;  // the wrapped page, when one is sent
  bool latched;      // the error flag afterwards
  std::optional<std::string> event;
  bool asksUps;
};

Lines Checked(const std::string& url) { return Stem(url) + Lines{"Inside CheckIsValidExtension"}; }
Lines Marked(const std::string& url) { return Checked(url) + Lines{"Takeaway .orv from header text"}; }
Lines End(Lines lines) { return lines + Lines{"END of Proc"}; }
void NoHostFailure(Request&) {}

class RequestTest : public FilterTest {
 protected:
  void Run(const RequestCase& c) {
    SCOPED_TRACE(c.name);
    ScriptReset();
    Load();
    c.ups();
    Request request{.url = c.url};
    c.host(request);
    EXPECT_EQ(Send(request), c.status);
    EXPECT_EQ(TraceLines(), c.lines);
    EXPECT_EQ(request.newUrl, c.newUrl);
    if (c.body.empty()) {
      EXPECT_EQ(request.order, "");
    } else {
      EXPECT_EQ(request.order, "ASW");
      EXPECT_EQ(request.responseHeaders, "Content-type: text/html");
      EXPECT_EQ(request.body, c.body);
    }
    EXPECT_EQ(ScriptCalls(210) > 0, c.asksUps);
    EXPECT_EQ(Events(c.event ? 1 : 0), c.event ? Lines{*c.event} : Lines{});
    EXPECT_EQ(IsLatched(), c.latched);
    Unload();
  }
};

TEST_F(RequestTest, EveryPathOfTheDecision) {
  const auto online = [] { ScriptOnLine(); };
  const auto battery = [] { ScriptOnBattery(); };
  const std::string statusUrl = "/cgi-bin/Pt_Notfy.exe.orv";
  const RequestCase cases[] = {
      {"header read fails", "/index.htm", battery, [](Request& r) { r.failGetHeader = true; },
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       {"PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "Inside GetError", "500", "GetUrlHeader",
        kHeaderReadFailure, "END of Proc"},
       {}, "", true, kHeaderReadFailure, false},
      {"not a page or program", "/images/logo.gif", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION, End(Stem("/images/logo.gif")), {}, "", false, {}, false},
      {"page on line keeps its letter case", "/Index.HTM", online, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION, End(Checked("/Index.HTM") + Lines{"No .orv"} + kOnLine), {},
       "", false, {}, true},
      {"page on battery is wrapped lower-cased", "/Index.HTM", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN,
       End(Checked("/Index.HTM") + Lines{"No .orv"} + kOnBattery + kWrapped), {}, "<p>/index.htm</p>\n",
       false, {}, true},
      {"extension anywhere counts", "/archive.htmlx/file.zip", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN,
       End(Checked("/archive.htmlx/file.zip") + Lines{"No .orv"} + kOnBattery + kWrapped), {},
       "<p>/archive.htmlx/file.zip</p>\n", false, {}, true},
      {"status program without marker is wrapped", "/cgi-bin/pt_notfy.exe", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN,
       End(Checked("/cgi-bin/pt_notfy.exe") + Lines{"No .orv"} + kOnBattery + kWrapped), {},
       "<p>/cgi-bin/pt_notfy.exe</p>\n", false, {}, true},
      {"marked page loses the marker, UPS not asked", "/Docs/Page.HTML.ORV", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/Docs/Page.HTML.ORV") +
           Lines{"SetUrlHeader", "/docs/page.html", "newURLHeader", "/docs/page.html"}),
       "/docs/page.html", "", false, {}, false},
      {"marker anywhere", "/a.orv.htm", online, NoHostFailure, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/a.orv.htm") + Lines{"SetUrlHeader", "/a.htm", "newURLHeader", "/a.htm"}), "/a.htm", "",
       false, {}, false},
      {"only the first marker goes", "/x.orv/y.orv.htm", online, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/x.orv/y.orv.htm") +
           Lines{"SetUrlHeader", "/x/y.orv.htm", "newURLHeader", "/x/y.orv.htm"}),
       "/x/y.orv.htm", "", false, {}, false},
      {"marker without extension passes", "/notes.orv", battery, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION, End(Stem("/notes.orv")), {}, "", false, {}, false},
      {"marked page, header write fails", "/a.htm.orv", online,
       [](Request& r) { r.setHeaderResult = 0; }, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/a.htm.orv") + Lines{"SetUrlHeader", kHeaderWriteFailure}), {}, "", true,
       kHeaderWriteFailure, false},
      {"marked page, header write answers 2", "/a.htm.orv", online,
       [](Request& r) { r.setHeaderResult = 2; }, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/a.htm.orv") + Lines{"SetUrlHeader", kHeaderWriteFailure}), "/a.htm", "", true,
       kHeaderWriteFailure, false},
      {"status program on line", statusUrl, online, NoHostFailure, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked(statusUrl) + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} + kOnLine +
           Lines{"newURLHeader ON_LINE", "/cgi-bin/pt_notfy.exe?-1", "newURLHeader",
                 "/cgi-bin/pt_notfy.exe?-1"}),
       "/cgi-bin/pt_notfy.exe?-1", "", false, {}, true},
      {"status program on battery", statusUrl, battery, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked(statusUrl) + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} + kOnBattery +
           Lines{"/cgi-bin/pt_notfy.exe?12", "newURLHeader", "/cgi-bin/pt_notfy.exe?12"}),
       "/cgi-bin/pt_notfy.exe?12", "", false, {}, true},
      {"status program keeps an existing query", "/cgi-bin/pt_notfy.exe.orv?a=1", online, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked("/cgi-bin/pt_notfy.exe.orv?a=1") + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} +
           kOnLine +
           Lines{"newURLHeader ON_LINE", "/cgi-bin/pt_notfy.exe?a=1?-1", "newURLHeader",
                 "/cgi-bin/pt_notfy.exe?a=1?-1"}),
       "/cgi-bin/pt_notfy.exe?a=1?-1", "", false, {}, true},
      {"status program, header write answers 2 (accepted)", statusUrl, online,
       [](Request& r) { r.setHeaderResult = 2; }, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked(statusUrl) + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} + kOnLine +
           Lines{"newURLHeader ON_LINE", "/cgi-bin/pt_notfy.exe?-1", "newURLHeader",
                 "/cgi-bin/pt_notfy.exe?-1"}),
       "/cgi-bin/pt_notfy.exe?-1", "", false, {}, true},
      {"status program, runtime unreadable", statusUrl, [] { ScriptOnBattery(nullptr); }, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked(statusUrl) + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} + kOnBattery +
           Lines{"Error on OrvGet"}),
       {}, "", true, kRuntimeFailure, true},
      {"status program, header write fails", statusUrl, online, [](Request& r) { r.setHeaderResult = 0; },
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Marked(statusUrl) + Lines{"PT_CGI found", "AppendUpsInfoToCgiUrl"} + kOnLine +
           Lines{"newURLHeader ON_LINE", "/cgi-bin/pt_notfy.exe?-1", kHeaderWriteFailure}),
       {}, "", true, kHeaderWriteFailure, true},
      {"UPS state unreadable", "/index.htm", [] { ScriptItem(210, nullptr); }, NoHostFailure,
       isapi::SF_STATUS_REQ_NEXT_NOTIFICATION,
       End(Checked("/index.htm") + Lines{"No .orv", "Error on Orv Get"}), {}, "", true, kStateFailure,
       true},
  };
  for (const RequestCase& c : cases) Run(c);
}

// A wrapped answer always makes all three host calls; any failure turns the status into an error
// without latching the filter.
TEST_F(RequestTest, WrappedPageHostFailures) {
  const struct {
    const char* name;
    bool add, send, write;
    Lines failures;
  } cases[] = {
      {"headers refused", true, false, false, {"AddResponseHeaders failed ->Content-type not set ok"}},
      {"header block refused", false, true, false, {"ServerSupportFunction failed!"}},
      {"body refused", false, false, true, {"WriteClient failed!"}},
      {"all refused", true, true, true,
       {"AddResponseHeaders failed ->Content-type not set ok", "ServerSupportFunction failed!",
        "WriteClient failed!"}},
  };
  Load();
  ScriptOnBattery();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Request request{.url = "/a.htm",
                    .failAddResponseHeaders = c.add,
                    .failSendResponseHeader = c.send,
                    .failWriteClient = c.write};
    EXPECT_EQ(Send(request), isapi::SF_STATUS_REQ_ERROR);
    EXPECT_EQ(request.order, "ASW");
    EXPECT_EQ(TraceLines(), End(Checked("/a.htm") + Lines{"No .orv"} + kOnBattery + kWrapped + c.failures));
    EXPECT_EQ(request.body, c.write ? "" : "<p>/a.htm</p>\n");
    EXPECT_FALSE(IsLatched());
    EXPECT_TRUE(Events().empty());
  }
}

TEST_F(RequestTest, UpsDecision) {
  const struct {
    const char* name;
    const char *state, *source, *flow;  // nullptr: unreadable
    Lines lines;
    bool onBattery, latched;
  } cases[] = {
      {"state 0", "0", "306", "392", {"LINE GOOD", "0"}, false, false},
      {"state without digits counts as 0", "abc", "306", "392", {"LINE GOOD", "abc"}, false, false},
      {"state unreadable", nullptr, "306", "392", {"Error on Orv Get"}, false, true},
      {"203 unreadable", "1", nullptr, "392", {"LINE_BAD == 0! SimpleSig"}, true, false},
      {"203 not 306", "1", "305", "392", {}, false, false},
      {"225 unreadable", "2", "306", nullptr, {"LINE_BAD == 0! 2G"}, true, false},
      {"225 is 392", "1", "306", "392", {"LINE_BAD == 0!"}, true, false},
      {"225 is 391", "1", "306", "391", {}, false, false},
      {"leading blanks and signs", " +1", " 306x", "+392", {"LINE_BAD == 0!"}, true, false},
  };
  for (const bool marker : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (marker ? ", battery marker present" : ""));
      ScriptReset();
      ScriptItem(210, c.state);
      ScriptItem(203, c.source);
      ScriptItem(225, c.flow);
      if (marker) WriteFile(root_.Path() / "c" / "temp" / "upsonbatt.txt", "");
      Load();
      Request request{.url = "/a.htm"};
      const bool onBattery = c.onBattery || marker;
      EXPECT_EQ(Send(request), onBattery ? isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN
                                         : isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
      EXPECT_EQ(TraceLines(), End(Checked("/a.htm") + Lines{"No .orv"} + c.lines + (onBattery ? kWrapped : Lines{})));
      const bool asks203 = c.state != nullptr && std::atoi(c.state) != 0;
      const bool asks225 = asks203 && c.source != nullptr && std::atoi(c.source) == 306;
      EXPECT_EQ(ScriptCalls(203), asks203 ? 1 : 0);
      EXPECT_EQ(ScriptCalls(225), asks225 ? 1 : 0);
      EXPECT_EQ(IsLatched(), c.latched);
      EXPECT_EQ(Events(c.latched ? 1 : 0).size(), c.latched ? 1u : 0u);
      Unload();
      std::filesystem::remove(root_.Path() / "c" / "temp" / "upsonbatt.txt");
    }
  }
}

TEST_F(RequestTest, BatteryMarkerMayBeADirectory) {
  std::filesystem::create_directory(root_.Path() / "c" / "temp" / "upsonbatt.txt");
  Load();
  ScriptOnLine();
  Request request{.url = "/a.htm"};
  EXPECT_EQ(Send(request), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);
  // The marker also turns the status program's query into the runtime.
  Request status{.url = "/cgi-bin/pt_notfy.exe.orv"};
  Send(status);
  EXPECT_EQ(status.newUrl, "/cgi-bin/pt_notfy.exe?45");
}

// A URL too long for the filter's buffer is the client's doing: that request passes untouched and
// the filter stays on for everyone else.
TEST_F(RequestTest, UrlTooLongPassesWithoutLatching) {
  Load();
  ScriptOnBattery();
  const std::string fits = "/" + std::string(494, 'p') + ".htm";  // 499 characters
  Request longest{.url = fits};
  EXPECT_EQ(Send(longest), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);

  for (const std::size_t length : {500u, 600u, 100000u}) {
    SCOPED_TRACE(length);
    Request request{.url = "/" + std::string(length - 5, 'p') + ".htm"};
    EXPECT_EQ(Send(request), isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
    EXPECT_EQ(TraceLines(), (Lines{"PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "Inside GetError", "500",
                                   "GetUrlHeader", kHeaderReadFailure, "END of Proc"}));
    EXPECT_EQ(request.order, "");
    EXPECT_FALSE(IsLatched());
    EXPECT_TRUE(Events().empty());
    Request next{.url = "/next.htm"};
    EXPECT_EQ(Send(next), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);
  }
}

TEST_F(RequestTest, StatusProgramQueryIsNeverCutShort) {
  Load();
  ScriptOnBattery("1234567");
  const std::string tail = "/cgi-bin/pt_notfy.exe.orv";
  const std::string url = "/" + std::string(499 - 1 - tail.size(), 'd') + tail;
  ASSERT_EQ(url.size(), 499u);
  Request request{.url = url};
  EXPECT_EQ(Send(request), isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
  const std::string expected = url.substr(0, url.size() - 4) + "?1234567";
  EXPECT_EQ(request.newUrl, expected);
  EXPECT_EQ(TraceLines().end()[-2], expected);
}

TEST_F(RequestTest, UrlIsEscapedInTheWrappedPage) {
  const struct {
    std::string url, inPage;
  } cases[] = {
      {"/a.htm?x=<script>alert('1')</script>", "/a.htm?x=&lt;script&gt;alert(&#39;1&#39;)&lt;/script&gt;"},
      {"/a.htm?a=1&b=\"2\"", "/a.htm?a=1&amp;b=&quot;2&quot;"},
      {"/plain-%41%3c.htm", "/plain-%41%3c.htm"},
      {"/\xC3\xA9t\xE9.htm", "/\xC3\xA9t\xE9.htm"},
  };
  Load();
  ScriptOnBattery();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Request request{.url = c.url};
    EXPECT_EQ(Send(request), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);
    EXPECT_EQ(request.body, "<p>" + c.inPage + "</p>\n");
  }
}

}  // namespace
}  // namespace pentrel::test
