// Many request threads on one loaded filter: every answer right, every trace line whole.
#include <set>
#include <thread>

#include "FilterFixture.h"

namespace pentrel::test {
namespace {

class ConcurrencyTest : public FilterTest {};

TEST_F(ConcurrencyTest, MixedRequestsFromEightThreads) {
  Load();
  ScriptOnBattery("17");
  ClearTrace();
  constexpr int kThreads = 8;
  constexpr int kRounds = 100;
  std::vector<std::string> failures[kThreads];
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kRounds; ++i) {
          auto check = [&](bool ok, const std::string& what) {
            if (!ok) failures[t].push_back(what + " in round " + std::to_string(i));
          };
          Request picture{.url = "/Logo.GIF"};
          check(FakeHost(picture).Send(Filter().HttpFilterProc) == isapi::SF_STATUS_REQ_NEXT_NOTIFICATION &&
                    !picture.newUrl && picture.order.empty(),
                "picture");
          Request page{.url = "/Page" + std::to_string(t) + ".HTM"};
          check(FakeHost(page).Send(Filter().HttpFilterProc) == isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN &&
                    page.body == "<p>/page" + std::to_string(t) + ".htm</p>\n",
                "page");
          Request marked{.url = "/Page.htm.orv"};
          check(FakeHost(marked).Send(Filter().HttpFilterProc) == isapi::SF_STATUS_REQ_NEXT_NOTIFICATION &&
                    marked.newUrl == "/page.htm",
                "marked page");
          Request status{.url = "/cgi-bin/pt_notfy.exe.orv"};
          check(FakeHost(status).Send(Filter().HttpFilterProc) == isapi::SF_STATUS_REQ_NEXT_NOTIFICATION &&
                    status.newUrl == "/cgi-bin/pt_notfy.exe?17",
                "status program");
        }
      });
    }
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(failures[t].empty()) << failures[t].front();
  const auto lines = TraceLines();
  EXPECT_FALSE(IsLatched());

  std::set<std::string> known = {"PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "Inside GetError", "500",
                                 "GetUrlHeader", "After GetUrlHeader", "After GetURlHeader",
                                 "Inside CheckIsValidExtension", "No .orv", "LINE_BAD == 0!",
                                 "Begin new handling", "Before strcpy", "END of Proc",
                                 "Takeaway .orv from header text", "SetUrlHeader", "/page.htm",
                                 "newURLHeader", "PT_CGI found", "AppendUpsInfoToCgiUrl",
                                 "/cgi-bin/pt_notfy.exe?17", "/Logo.GIF", "/Page.htm.orv",
                                 "/cgi-bin/pt_notfy.exe.orv"};
  for (int t = 0; t < kThreads; ++t) known.insert("/Page" + std::to_string(t) + ".HTM");
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kRounds * (9 + 16 + 15 + 17)));
  for (const std::string& line : lines) ASSERT_TRUE(known.contains(line)) << "torn trace line: " << line;
}

}  // namespace
}  // namespace pentrel::test
