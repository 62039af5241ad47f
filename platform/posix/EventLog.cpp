#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "UniqueFd.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

namespace {
constexpr int kFacilityDaemon = 3 << 3;
constexpr int kSeverityErr = 3;
}  // namespace

void ReportErrorEvent(std::string_view source, std::string_view message) {
  const char* env = std::getenv("PENTREL_SYSLOG_SOCKET");
  const std::string socketPath = (env != nullptr && *env != '\0') ? env : "/dev/log";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);

  posix::UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return;
  // RFC 3164 without a time stamp (the receiver adds its own); the tag is the event source.
  std::string datagram = "<" + std::to_string(kFacilityDaemon | kSeverityErr) + ">";
  datagram.append(source);
  datagram += ": ";
  datagram.append(message);
  ::sendto(fd.Get(), datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
}

}  // namespace pentrel::platform
