// The C interface: one current backend, chosen by InitClient and shared by every calling thread.
#include <cstring>
#include <memory>
#include <mutex>

#include "BackendFactory.h"
#include "Items.h"
#include "kivlink.h"
#include <pentrel/platform/Abi.h>

namespace {

std::mutex g_mutex;
std::shared_ptr<kivlink::Backend> g_backend;

std::shared_ptr<kivlink::Backend> Current() {
  std::lock_guard lock(g_mutex);
  return g_backend;
}

}  // namespace

extern "C" {

PENTREL_EXPORT int InitClient(const char* server) {
  try {
    std::shared_ptr<kivlink::Backend> backend = kivlink::MakeBackend(kivlink::ChooseServer(server));
    if (!backend) return KIVLINK_ERR_ARGUMENT;
    const int rc = backend->Connect();
    // Kept even when the UPS cannot be reached now: later calls reconnect.
    std::lock_guard lock(g_mutex);
    g_backend = std::move(backend);
    return rc;
  } catch (...) {
    return KIVLINK_ERR_UNKNOWN;
  }
}

PENTREL_EXPORT int OrvGet(int item, char* buffer) {
  if (buffer == nullptr) return KIVLINK_ERR_ARGUMENT;
  try {
    const auto backend = Current();
    if (!backend) return KIVLINK_ERR_NOT_INITIALISED;
    const kivlink::Reading reading = kivlink::ReadItem(*backend, item);
    if (reading.code != KIVLINK_OK) return reading.code;
    // The caller offers no size: the item's own contract bounds the copy.
    const std::size_t n = std::min(reading.value.size(), kivlink::MaxItemLength(item));
    std::memcpy(buffer, reading.value.data(), n);
    buffer[n] = '\0';
    return KIVLINK_OK;
  } catch (...) {
    return KIVLINK_ERR_UNKNOWN;
  }
}

PENTREL_EXPORT const char* KivlinkErrorText(int code) {
  switch (code) {
    case KIVLINK_OK: return "ok";
    case KIVLINK_ERR_ARGUMENT: return "the server text cannot be understood";
    case KIVLINK_ERR_NOT_INITIALISED: return "InitClient has not been called";
    case KIVLINK_ERR_UNKNOWN_ITEM: return "unknown item";
    case KIVLINK_ERR_CONNECT: return "the UPS service cannot be reached";
    case KIVLINK_ERR_TIMEOUT: return "the UPS service did not answer in time";
    case KIVLINK_ERR_NO_SUCH_UPS: return "no such UPS";
    case KIVLINK_ERR_VAR_NOT_SUPPORTED: return "the UPS does not report this value";
    case KIVLINK_ERR_DATA_STALE: return "the UPS service has no fresh reading";
    case KIVLINK_ERR_ACCESS_DENIED: return "access denied";
    case KIVLINK_ERR_PROTOCOL: return "unexpected answer from the UPS service";
    case KIVLINK_ERR_DRIVER_NOT_CONNECTED: return "the UPS driver is not connected";
    case KIVLINK_ERR_BAD_VALUE: return "the reading cannot be used";
    default: return "unknown failure";
  }
}

}  // extern "C"
