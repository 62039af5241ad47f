// A TCP connection whose every operation ends by a deadline. The system's socket interface is known
// only to SocketPosix.cpp and SocketWinsock.cpp; this header reads the same on both.
#pragma once

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kivlink::nut {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Connects to host:port (a name or a numeric address), trying the host's addresses in turn.
  // KIVLINK_OK, KIVLINK_ERR_CONNECT or KIVLINK_ERR_TIMEOUT. Name resolution itself is the system's
  // and not bounded: a numeric address keeps the bound strict.
  static int Open(const std::string& host, std::uint16_t port, Clock::time_point deadline, Socket& out);

  // KIVLINK_OK once all of `data` is sent; KIVLINK_ERR_CONNECT or KIVLINK_ERR_TIMEOUT otherwise.
  int SendAll(std::string_view data, Clock::time_point deadline);

  // Appends at least one and at most `max` received bytes to `out`. KIVLINK_ERR_CONNECT when the
  // peer closed or the connection failed, KIVLINK_ERR_TIMEOUT when nothing came in time.
  int Receive(std::string& out, std::size_t max, Clock::time_point deadline);

  bool IsOpen() const { return handle_ != kInvalid; }
  void Close() noexcept;

 private:
  // An int descriptor or a SOCKET, whichever the system uses; all ones is invalid on both.
  static constexpr std::uintptr_t kInvalid = ~std::uintptr_t{0};
  explicit Socket(std::uintptr_t handle) : handle_(handle) {}

  std::uintptr_t handle_ = kInvalid;
};

// Milliseconds left until the deadline, rounded up, never negative.
inline int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
}

}  // namespace kivlink::nut
