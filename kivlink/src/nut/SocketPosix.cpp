#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>

#include "Socket.h"
#include "kivlink.h"

namespace kivlink::nut {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer must not raise SIGPIPE in the web server
#else
constexpr int kSendFlags = 0;
#endif

int Fd(std::uintptr_t handle) { return static_cast<int>(handle); }

// Waits for `events` on fd; KIVLINK_OK when ready (or in error, which the next call reports).
int Wait(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n > 0) return KIVLINK_OK;
    if (n == 0) return KIVLINK_ERR_TIMEOUT;
    if (errno != EINTR) return KIVLINK_ERR_CONNECT;
  }
}

}  // namespace

void Socket::Close() noexcept {
  if (handle_ != kInvalid) ::close(Fd(handle_));
  handle_ = kInvalid;
}

int Socket::Open(const std::string& host, std::uint16_t port, Clock::time_point deadline, Socket& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0 || list == nullptr)
    return KIVLINK_ERR_CONNECT;
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);

  int rc = KIVLINK_ERR_CONNECT;
  for (const addrinfo* ai = list; ai != nullptr && rc != KIVLINK_ERR_TIMEOUT; ai = ai->ai_next) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (fd < 0) continue;
    Socket s(static_cast<std::uintptr_t>(fd));
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
      continue;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      if (errno != EINPROGRESS && errno != EINTR) continue;
      rc = Wait(fd, POLLOUT, deadline);
      if (rc != KIVLINK_OK) continue;
      int error = 0;
      socklen_t len = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
        rc = KIVLINK_ERR_CONNECT;
        continue;
      }
    }
    out = std::move(s);
    return KIVLINK_OK;
  }
  return rc;
}

int Socket::SendAll(std::string_view data, Clock::time_point deadline) {
  if (!IsOpen()) return KIVLINK_ERR_CONNECT;
  while (!data.empty()) {
    const ssize_t n = ::send(Fd(handle_), data.data(), data.size(), kSendFlags);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (const int rc = Wait(Fd(handle_), POLLOUT, deadline); rc != KIVLINK_OK) return rc;
    } else {
      return KIVLINK_ERR_CONNECT;
    }
  }
  return KIVLINK_OK;
}

int Socket::Receive(std::string& out, std::size_t max, Clock::time_point deadline) {
  if (!IsOpen()) return KIVLINK_ERR_CONNECT;
  const std::size_t old = out.size();
  for (;;) {
    out.resize(old + max);
    const ssize_t n = ::recv(Fd(handle_), out.data() + old, max, 0);
    out.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n > 0) return KIVLINK_OK;
    if (n == 0) return KIVLINK_ERR_CONNECT;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return KIVLINK_ERR_CONNECT;
    if (const int rc = Wait(Fd(handle_), POLLIN, deadline); rc != KIVLINK_OK) return rc;
  }
}

}  // namespace kivlink::nut
