// Many requests at once while the UPS switches: every answer must be one of the valid ones and
// the server must stay healthy.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <thread>
#include <vector>

#include "Http.h"
#include "Site.h"

namespace pentrel::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int kConnections = 16;
constexpr int kRequests = 6000;

struct Target {
  std::string url;
  std::vector<std::string> valid;  // exact bodies, or texts one of which the body must contain
  bool exact;
};

TEST(Load, MixedRequestsWhileTheUpsSwitchesAllSucceed) {
  Site site;
  std::string error;
  ASSERT_TRUE(site.Start(error)) << error;

  const std::vector<Target> targets = {
      {"/index.htm", {site.PageFile("index.htm"), site.WrappedPage("/index.htm")}, true},
      {"/about.htm", {site.PageFile("about.htm"), site.WrappedPage("/about.htm")}, true},
      {"/index.htm.orv", {site.PageFile("index.htm")}, true},
      {"/pentrel/online.gif", {site.PageFile("pentrel/online.gif")}, true},
      {"/pentrel/onbattery.gif", {site.PageFile("pentrel/onbattery.gif")}, true},
      // The filter reads the UPS state and the runtime one after the other; a switch between the
      // two reads shows the on-line runtime (3600 s) on the battery page.
      {"/cgi-bin/pt_notfy.exe.orv",
       {"UPS On Line!", "Runtime remaining: 9 minutes", "Runtime remaining: 60 minutes"},
       false},
  };

  std::atomic<int> next{0}, failed{0};
  std::atomic<bool> done{false};
  std::string firstFailure;
  std::mutex failureMutex;
  std::thread switcher([&] {
    for (bool battery = true; !done; battery = !battery) {
      if (battery)
        site.SetUpsOnBattery(9);
      else
        site.SetUpsOnline();
      std::this_thread::sleep_for(50ms);
    }
  });

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  for (int c = 0; c < kConnections; ++c) {
    clients.emplace_back([&] {
      auto connection = std::make_unique<Connection>(site.Port());
      for (int i; (i = next++) < kRequests;) {
        const Target& target = targets[static_cast<std::size_t>(i) % targets.size()];
        Response response = connection->Get(target.url);
        bool ok = response.status == 200;
        if (ok) {
          ok = false;
          for (const auto& v : target.valid)
            ok = ok || (target.exact ? response.body == v
                                     : response.body.find(v) != std::string::npos);
        }
        if (!ok) {
          ++failed;
          std::lock_guard lock(failureMutex);
          if (firstFailure.empty())
            firstFailure = target.url + " -> " + std::to_string(response.status) + "\n" +
                           response.body.substr(0, 300);
        }
        if (response.status == 0 || response.Header("connection") == "close")
          connection = std::make_unique<Connection>(site.Port());
      }
    });
  }
  for (auto& t : clients) t.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  done = true;
  switcher.join();
  std::printf("%d requests over %d connections in %.2f s: %.0f requests/s\n", kRequests,
              kConnections, seconds, kRequests / seconds);

  EXPECT_EQ(failed, 0) << firstFailure;
  EXPECT_TRUE(site.Alive());
  site.Stop();
  // Nothing beyond notices; a crashed child shows as a notice "exit signal".
  const std::string log = site.ErrorLog();
  EXPECT_FALSE(std::regex_search(log, std::regex(R"(\[[a-z_]+:(warn|error|crit|alert|emerg)\])")))
      << log;
  EXPECT_EQ(log.find("exit signal"), std::string::npos) << log;
}

}  // namespace
}  // namespace pentrel::e2e
