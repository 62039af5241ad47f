// kivlink-query [SERVER]: prints the four items the request filter reads, as it reads them (same
// calls, same buffer sizes). SERVER as for InitClient; without it $KIVLINK_UPS or the local upsd.
// Exit status 0 when every item was read, 1 when any could not be, 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <vector>

#include "kivlink.h"

namespace {

struct Item {
  int code;
  const char* name;
  int bufferSize;  // what the filter offers
};

constexpr Item kItems[] = {
    {KIVLINK_UPS_STATE, "UPS_STATE", 20},
    {KIVLINK_POWER_SOURCE, "POWER_SOURCE", 20},
    {KIVLINK_BATTERY_FLOW, "BATTERY_FLOW", 20},
    {KIVLINK_RUN_TIME_REMAINING, "RUN_TIME_REMAINING", 8},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
    std::fprintf(stderr, "usage: %s [nut://[user:password@]host[:port][/ups] | sim:PATH]\n", argv[0]);
    return 2;
  }
  const char* server = argc == 2 ? argv[1] : "";
  if (const int rc = InitClient(server); rc != KIVLINK_OK) {
    std::fprintf(stderr, "kivlink-query: cannot reach the UPS: %s (%d)\n", KivlinkErrorText(rc), rc);
    return 1;
  }
  int status = 0;
  for (const Item& item : kItems) {
    std::vector<char> buffer(static_cast<std::size_t>(item.bufferSize), '\0');
    if (const int rc = OrvGet(item.code, buffer.data()); rc != KIVLINK_OK) {
      std::fprintf(stderr, "kivlink-query: %s (%d) cannot be read: %s (%d)\n", item.name, item.code,
                   KivlinkErrorText(rc), rc);
      status = 1;
      continue;
    }
    std::printf("%s (%d): %s\n", item.name, item.code, buffer.data());
  }
  return status;
}
