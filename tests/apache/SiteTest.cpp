// The sample site served by a real Apache with mod_isapi_filter and PENTREL.so, over real HTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Http.h"
#include "Site.h"

namespace pentrel::e2e {
namespace {

using namespace std::chrono_literals;

class SiteTest : public ::testing::Test {
 protected:
  void Serve(SiteOptions options = {}) {
    site = std::make_unique<Site>(std::move(options));
    std::string error;
    ASSERT_TRUE(site->Start(error)) << error;
  }
  int Port() const { return site->Port(); }

  std::unique_ptr<Site> site;
};

struct FileCase {
  const char* url;
  const char* file;
};
constexpr FileCase kUnchangedFiles[] = {
    {"/index.htm", "index.htm"},
    {"/about.htm", "about.htm"},
    {"/pentrel/online.gif", "pentrel/online.gif"},
    {"/pentrel/onbattery.gif", "pentrel/onbattery.gif"},
};

TEST_F(SiteTest, OnLineEveryFileComesBackAsStoredAndTheTraceShowsEachRequest) {
  Serve();
  for (const auto& c : kUnchangedFiles) {
    const Response response = Get(Port(), c.url);
    EXPECT_EQ(response.status, 200) << c.url;
    EXPECT_EQ(response.body, site->PageFile(c.file)) << c.url;
  }
  const std::string status = Get(Port(), "/cgi-bin/pt_notfy.exe.orv").body;
  EXPECT_NE(status.find("UPS On Line!"), std::string::npos) << status;
  EXPECT_NE(status.find("/pentrel/online.gif"), std::string::npos);

  const std::string trace = site->Trace();
  for (const auto& c : kUnchangedFiles)
    EXPECT_NE(trace.find(std::string(c.url) + "\r\n"), std::string::npos) << c.url;
  EXPECT_NE(trace.find("/cgi-bin/pt_notfy.exe?-1\r\n"), std::string::npos);
}

TEST_F(SiteTest, OnBatteryPagesGetTheWrapperAndEverythingElseIsServed) {
  Serve(WithUps("OB"));
  for (const char* url : {"/index.htm", "/About.HTM", "/index.htm?a=1&b=<i>\"x\"'y'",
                          "/missing.html", "/scripts/run.cgi"}) {
    const Response response = Get(Port(), url);
    EXPECT_EQ(response.status, 200) << url;
    EXPECT_EQ(response.Header("content-type"), "text/html") << url;
    EXPECT_EQ(response.body, site->WrappedPage(url)) << url;
  }
  // Marked: the page itself, unwrapped.
  EXPECT_EQ(Get(Port(), "/index.htm.orv").body, site->PageFile("index.htm"));
  EXPECT_EQ(Get(Port(), "/./about.htm.orv").body, site->PageFile("about.htm"));
  // Pictures are never touched.
  for (const char* picture : {"pentrel/online.gif", "pentrel/onbattery.gif"})
    EXPECT_EQ(Get(Port(), std::string("/") + picture).body, site->PageFile(picture));

  const Response status = Get(Port(), "/cgi-bin/pt_notfy.exe.orv");
  EXPECT_EQ(status.status, 200);
  EXPECT_NE(status.body.find("Runtime remaining: 12 minutes"), std::string::npos) << status.body;
  EXPECT_NE(status.body.find("/pentrel/onbattery.gif"), std::string::npos);
}

TEST_F(SiteTest, OnBatteryOneKeptAliveConnectionCarriesSeveralAnswers) {
  Serve(WithUps("OB"));
  Connection connection(Port());
  ASSERT_TRUE(connection.Open());
  const Response first = connection.Get("/index.htm");
  const Response second = connection.Get("/about.htm");
  const Response picture = connection.Get("/pentrel/onbattery.gif");
  const Response marked = connection.Get("/about.htm.orv");
  EXPECT_EQ(first.body, site->WrappedPage("/index.htm"));
  EXPECT_EQ(second.body, site->WrappedPage("/about.htm"));
  EXPECT_EQ(picture.body, site->PageFile("pentrel/onbattery.gif"));
  EXPECT_EQ(marked.body, site->PageFile("about.htm"));
  EXPECT_NE(first.Header("connection"), "close");
  EXPECT_NE(second.Header("connection"), "close");
}

TEST_F(SiteTest, UpsServiceDownAtStartIsReportedAndTheSiteIsServedUnwrapped) {
  Serve(WithUps("down"));
  const auto events = site->SyslogMessages(3s);
  ASSERT_FALSE(events.empty());
  EXPECT_NE(events.front().find("Pentrel for MSIIS"), std::string::npos) << events.front();
  EXPECT_NE(events.front().find("Unable to connect"), std::string::npos) << events.front();

  // The failure latched the filter off: even on battery now, pages pass untouched.
  site->SetUpsOnBattery(5);
  const Response response = Get(Port(), "/index.htm");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, site->PageFile("index.htm"));
  EXPECT_TRUE(site->Alive());
}

TEST_F(SiteTest, OverlongUrlIsServedNormallyAndDoesNotLatchTheFilterOff) {
  Serve(WithUps("OB"));
  const std::string longQuery = "/index.htm?" + std::string(600, 'q');
  const Response query = Get(Port(), longQuery);
  EXPECT_EQ(query.status, 200);
  EXPECT_EQ(query.body, site->PageFile("index.htm"));
  // A file name that long cannot exist (403 or 404), but it is the server's answer, not the wrapper.
  const Response path = Get(Port(), "/" + std::string(600, 'p') + ".htm");
  EXPECT_TRUE(path.status == 404 || path.status == 403) << path.status;

  EXPECT_EQ(Get(Port(), "/index.htm").body, site->WrappedPage("/index.htm"));
  EXPECT_TRUE(site->SyslogMessages(300ms).empty());
}

TEST_F(SiteTest, MarkerCannotLeadTheRewrittenUrlOutOfTheSite) {
  Serve(WithUps("OB"));
  // The client's URL is fine; without ".orv" it would climb above the document root.
  Connection connection(Port());
  const Response response = connection.Get("/.orv./../index.htm");
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(Get(Port(), "/index.htm").body, site->WrappedPage("/index.htm"));
}

TEST_F(SiteTest, SwitchingTheUpsWhileRequestsRunTakesEffectAtTheNextRequest) {
  Serve();
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  const std::string page = site->PageFile("index.htm");
  const std::string wrapped = site->WrappedPage("/index.htm");
  std::thread traffic([&] {
    Connection connection(Port());
    while (!stop) {
      const Response r = connection.Get("/index.htm");
      if (r.status != 200 || (r.body != page && r.body != wrapped)) ++bad;
    }
  });
  for (int round = 0; round < 3; ++round) {
    site->SetUpsOnBattery(20 + round);
    EXPECT_EQ(Get(Port(), "/index.htm").body, wrapped);
    EXPECT_NE(Get(Port(), "/cgi-bin/pt_notfy.exe.orv").body.find(
                  "Runtime remaining: " + std::to_string(20 + round) + " minutes"),
              std::string::npos);
    site->SetUpsOnline();
    EXPECT_EQ(Get(Port(), "/index.htm").body, page);
  }
  stop = true;
  traffic.join();
  EXPECT_EQ(bad, 0);
}

// The module's side of the ISAPI contract, through a probe filter.
struct ProbeCase {
  const char* url;
  int status;
  const char* bodyHas;  // empty: not checked
  const char* header;   // "name: value", lower-case name; empty: not checked
};
constexpr ProbeCase kProbeCases[] = {
    // "/probe/size?abc" and its terminator need 16 bytes.
    {"/probe/size?abc", 200, "ok=0 needed=16", ""},
    {"/probe/header", 200, "ok=1 value=hello", ""},
    {"/probe/error", 500, "", ""},
    {"/probe/status", 302, "", "location: /index.htm"},
    {"/probe/badheaders", 200, "ok=0", ""},
    {"/probe/rewrite", 200, "About the UPS", ""},
    {"/probe/escape", 400, "", ""},
    {"/probe/absolute", 200, "ok=0", ""},
    {"/index.htm", 200, "Welcome to the Pentrel demo site", ""},
};

TEST_F(SiteTest, HostCallbacksFollowTheIsapiContract) {
  Serve(WithFilter("@DIR@/lib/probe.so"));
  for (const auto& c : kProbeCases) {
    Connection connection(Port());
    const Response response = connection.Get(c.url, "X-Probe: hello\r\n");
    EXPECT_EQ(response.status, c.status) << c.url;
    if (*c.bodyHas != '\0') {
      EXPECT_NE(response.body.find(c.bodyHas), std::string::npos) << c.url << ": " << response.body;
    }
    if (*c.header != '\0') {
      const std::string h = c.header;
      const std::size_t colon = h.find(": ");
      EXPECT_EQ(response.Header(h.substr(0, colon)), h.substr(colon + 2)) << c.url;
    }
  }
  // FINISHED ends the connection; FINISHED_KEEP_CONN keeps it.
  Connection kept(Port());
  EXPECT_EQ(kept.Get("/probe/header", "X-Probe: a\r\n").status, 200);
  EXPECT_EQ(kept.Get("/probe/finished").body, "finished");
  EXPECT_TRUE(kept.ServerClosed());
}

struct BadFilterCase {
  const char* filter;  // "@DIR@" stands for the site's folder
  const char* why;
};
constexpr BadFilterCase kBadFilters[] = {
    {"@DIR@/lib/none.so", "cannot load ISAPI filter"},
    {"@DIR@/lib/libkivlink.so", "does not export GetFilterVersion"},
    {"@DIR@/lib/refusing.so", "refused registration"},
};

TEST(ModuleStart, AFilterThatCannotServeStopsConfigTestAndStartNamingThePath) {
  for (const auto& c : kBadFilters) {
    Site site(WithFilter(c.filter));
    const std::string path = site.Dir().string() + (c.filter + 5);
    const CommandResult test = site.RunApache({"-t"});
    EXPECT_NE(test.exitCode, 0) << path;
    for (const std::string& expected : {std::string("PT00001"), path, std::string(c.why)})
      EXPECT_NE(test.output.find(expected), std::string::npos) << expected << " in " << test.output;
    std::string error;
    EXPECT_FALSE(site.Start(error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  Site good;
  const CommandResult test = good.RunApache({"-t"});
  EXPECT_EQ(test.exitCode, 0) << test.output;
}

}  // namespace
}  // namespace pentrel::e2e
