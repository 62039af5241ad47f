// A datagram socket standing in for /dev/log: collects the events the code under test reports.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace pentrel::test {

class SyslogSink {
 public:
  explicit SyslogSink(const std::filesystem::path& socketPath);  // sets PENTREL_SYSLOG_SOCKET
  ~SyslogSink();
  SyslogSink(const SyslogSink&) = delete;
  SyslogSink& operator=(const SyslogSink&) = delete;

  // The datagrams received since the last call, waiting up to `wait` for at least `atLeast`.
  std::vector<std::string> Take(std::size_t atLeast = 0,
                                  std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

 private:
  int fd_ = -1;
  std::filesystem::path path_;
  std::vector<std::string> events_;
};

}  // namespace pentrel::test
