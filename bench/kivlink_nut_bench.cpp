// OrvGet from several threads against a real upsd: calls per second and latency percentiles, with
// the reading cache and without it.
//   kivlink_nut_bench [SECONDS] [THREADS]
// KIVLINK_BENCH_UPS=nut://host:port/ups names a running upsd; otherwise one is started on loopback
// with a dummy-ups driver (needs root and Debian's nut-server).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UpsdServer.h"
#include "kivlink.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
  double callsPerSecond = 0;
  double p50us = 0, p99us = 0, maxUs = 0;
  long failures = 0;
};

Result Measure(const std::string& server, double seconds, int threads) {
  if (const int rc = InitClient(server.c_str()); rc != KIVLINK_OK) {
    std::fprintf(stderr, "InitClient(%s): %s\n", server.c_str(), KivlinkErrorText(rc));
    std::exit(1);
  }
  std::vector<std::vector<double>> latencies(static_cast<std::size_t>(threads));
  std::vector<long> failures(static_cast<std::size_t>(threads), 0);
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  {
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([&, t] {
        auto& mine = latencies[static_cast<std::size_t>(t)];
        mine.reserve(1 << 20);
        char buffer[20];
        for (auto now = Clock::now(); now < end;) {
          const int rc = OrvGet(KIVLINK_UPS_STATE, buffer);
          const auto after = Clock::now();
          mine.push_back(std::chrono::duration<double, std::micro>(after - now).count());
          if (rc != KIVLINK_OK) ++failures[static_cast<std::size_t>(t)];
          now = after;
        }
      });
  }
  std::vector<double> all;
  Result r;
  for (std::size_t t = 0; t < latencies.size(); ++t) {
    all.insert(all.end(), latencies[t].begin(), latencies[t].end());
    r.failures += failures[t];
  }
  std::sort(all.begin(), all.end());
  if (all.empty()) return r;
  r.callsPerSecond = static_cast<double>(all.size()) / seconds;
  r.p50us = all[all.size() / 2];
  r.p99us = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  r.maxUs = all.back();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 8;
  std::unique_ptr<pentrel::test::UpsdServer> own;
  std::string base;
  if (const char* named = std::getenv("KIVLINK_BENCH_UPS"); named != nullptr && *named != '\0') {
    base = named;
  } else {
    if (!pentrel::test::UpsdServer::Available()) {
      std::fprintf(stderr, "set KIVLINK_BENCH_UPS, or run as root with nut-server installed\n");
      return 1;
    }
    own = std::make_unique<pentrel::test::UpsdServer>(
        std::vector<pentrel::test::UpsSpec>{{"bench", "ups.status: OB DISCHRG\nbattery.runtime: 750\n"}});
    base = own->Url("/bench");
  }
  const char* join = base.find('?') == std::string::npos ? "?" : "&";
  std::printf("%d threads, %.1f s each, OrvGet(UPS_STATE) against %s\n", threads, seconds, base.c_str());
  std::printf("%-22s %12s %10s %10s %10s %9s\n", "mode", "calls/s", "p50 us", "p99 us", "max us", "failures");
  for (const auto& [name, options] : {std::pair{"cached (1000 ms)", "cache=1000"}, std::pair{"uncached", "cache=0"}}) {
    const Result r = Measure(base + join + options, seconds, threads);
    std::printf("%-22s %12.0f %10.1f %10.1f %10.1f %9ld\n", name, r.callsPerSecond, r.p50us, r.p99us, r.maxUs,
                r.failures);
  }
  return 0;
}
