#include "SyslogSink.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <utility>

namespace pentrel::test {

SyslogSink::SyslogSink(const std::filesystem::path& socketPath) : path_(socketPath) {
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string p = path_.string();
  if (fd_ < 0 || p.size() >= sizeof addr.sun_path) throw std::runtime_error("syslog sink socket");
  std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
  ::unlink(p.c_str());
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("syslog sink bind");
  setenv("PENTREL_SYSLOG_SOCKET", p.c_str(), 1);
}

SyslogSink::~SyslogSink() {
  unsetenv("PENTREL_SYSLOG_SOCKET");
  if (fd_ >= 0) ::close(fd_);
  ::unlink(path_.c_str());
}

std::vector<std::string> SyslogSink::Take(std::size_t atLeast, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int timeout = 0;
    if (events_.size() < atLeast) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeout) <= 0) break;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) break;
    events_.emplace_back(buffer, static_cast<std::size_t>(n));
  }
  return std::exchange(events_, {});
}

}  // namespace pentrel::test
