#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <memory>

#include "Socket.h"
#include "kivlink.h"

namespace kivlink::nut {

namespace {

SOCKET Handle(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock is started once for the life of the process. WSACleanup is left out on purpose: it would
// run from DllMain at unload, where Winsock must not be torn down.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// select rather than WSAPoll: WSAPoll does not report a refused non-blocking connect on older systems.
int Wait(SOCKET s, bool forWrite, Clock::time_point deadline) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  const int ms = RemainingMs(deadline);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int n = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
  if (n == 0) return KIVLINK_ERR_TIMEOUT;
  if (n < 0 || FD_ISSET(s, &failed)) return KIVLINK_ERR_CONNECT;
  return KIVLINK_OK;
}

}  // namespace

void Socket::Close() noexcept {
  if (handle_ != kInvalid) ::closesocket(Handle(handle_));
  handle_ = kInvalid;
}

int Socket::Open(const std::string& host, std::uint16_t port, Clock::time_point deadline, Socket& out) {
  if (!StartWinsock()) return KIVLINK_ERR_CONNECT;
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
    const SOCKET raw = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (raw == INVALID_SOCKET) continue;
    Socket s(static_cast<std::uintptr_t>(raw));
    u_long nonBlocking = 1;
    if (::ioctlsocket(raw, FIONBIO, &nonBlocking) != 0) continue;
    const BOOL one = TRUE;
    ::setsockopt(raw, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (::connect(raw, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
      if (::WSAGetLastError() != WSAEWOULDBLOCK) continue;
      rc = Wait(raw, true, deadline);
      if (rc != KIVLINK_OK) continue;
    }
    out = std::move(s);
    return KIVLINK_OK;
  }
  return rc;
}

int Socket::SendAll(std::string_view data, Clock::time_point deadline) {
  if (!IsOpen()) return KIVLINK_ERR_CONNECT;
  while (!data.empty()) {
    const int chunk = static_cast<int>(data.size() > INT_MAX ? INT_MAX : data.size());
    const int n = ::send(Handle(handle_), data.data(), chunk, 0);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      if (const int rc = Wait(Handle(handle_), true, deadline); rc != KIVLINK_OK) return rc;
    } else {
      return KIVLINK_ERR_CONNECT;
    }
  }
  return KIVLINK_OK;
}

int Socket::Receive(std::string& out, std::size_t max, Clock::time_point deadline) {
  if (!IsOpen()) return KIVLINK_ERR_CONNECT;
  const std::size_t old = out.size();
  const int chunk = static_cast<int>(max > INT_MAX ? INT_MAX : max);
  for (;;) {
    out.resize(old + static_cast<std::size_t>(chunk));
    const int n = ::recv(Handle(handle_), out.data() + old, chunk, 0);
    out.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n > 0) return KIVLINK_OK;
    if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) return KIVLINK_ERR_CONNECT;
    if (const int rc = Wait(Handle(handle_), false, deadline); rc != KIVLINK_OK) return rc;
  }
}

}  // namespace kivlink::nut
