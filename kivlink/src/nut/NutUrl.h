// The server text of the NUT backend: nut://[user:password@]host[:port][/ups][?cache=MS&timeout=MS]
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivlink::nut {

struct NutTarget {
  std::string host;
  std::uint16_t port = 3493;
  std::string ups;  // empty: the first UPS that upsd lists
  std::string user;
  std::string password;
  // How long a reading answers later calls without asking upsd again; 0 asks every time.
  std::chrono::milliseconds cache{1000};
  // The bound of one call, connecting included.
  std::chrono::milliseconds timeout{1000};

  bool HasCredentials() const { return !user.empty(); }
};

// Nothing for a malformed text. User, password and UPS may carry %XX escapes (e.g. %40 for @).
std::optional<NutTarget> ParseNutUrl(std::string_view url);

}  // namespace kivlink::nut
