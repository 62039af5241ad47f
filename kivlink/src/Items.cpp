#include "Items.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "kivlink.h"

namespace kivlink {

namespace {

struct Flags {
  bool ol = false, ob = false, chrg = false, dischrg = false;
};

// ups.status is a list of words ("OL CHRG", "OB DISCHRG LB").
Flags ParseStatus(const std::string& status) {
  Flags f;
  std::istringstream words(status);
  std::string w;
  while (words >> w) {
    f.ol |= w == "OL";
    f.ob |= w == "OB";
    f.chrg |= w == "CHRG";
    f.dischrg |= w == "DISCHRG";
  }
  return f;
}

Reading RuntimeMinutes(const std::string& seconds) {
  const char* begin = seconds.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  if (end == begin || *end != '\0' || !std::isfinite(value) || value < 0)
    return {KIVLINK_ERR_BAD_VALUE, {}};
  const double minutes = std::floor(value / 60.0);
  return {KIVLINK_OK, std::to_string(static_cast<long long>(std::fmin(minutes, 9999999.0)))};
}

}  // namespace

std::size_t MaxItemLength(int item) {
  switch (item) {
    case KIVLINK_UPS_STATE:
    case KIVLINK_POWER_SOURCE:
    case KIVLINK_BATTERY_FLOW: return 19;
    case KIVLINK_RUN_TIME_REMAINING: return 7;
    default: return 0;
  }
}

Reading ReadItem(Backend& backend, int item) {
  if (item == KIVLINK_RUN_TIME_REMAINING) {
    Reading runtime = backend.GetVar("battery.runtime");
    if (runtime.code != KIVLINK_OK) return runtime;
    return RuntimeMinutes(runtime.value);
  }
  if (MaxItemLength(item) == 0) return {KIVLINK_ERR_UNKNOWN_ITEM, {}};

  Reading status = backend.GetVar("ups.status");
  if (status.code != KIVLINK_OK) return status;
  const Flags f = ParseStatus(status.value);
  switch (item) {
    case KIVLINK_UPS_STATE: return {KIVLINK_OK, f.ob ? "1" : (f.ol ? "0" : "2")};
    case KIVLINK_POWER_SOURCE: return {KIVLINK_OK, f.ob ? "306" : (f.ol ? "305" : "304")};
    default: return {KIVLINK_OK, (f.dischrg || (f.ob && !f.chrg)) ? "392" : "391"};
  }
}

}  // namespace kivlink
