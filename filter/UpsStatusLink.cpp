// The filter's one contact with the UPS: kivlink's items and the battery marker file.
#include <cstdlib>
#include <cstring>

#include "UpsStatusFilter.h"
#include "diag/PT_Exception.h"
#include "kivlink.h"
#include <pentrel/platform/Platform.h>

using namespace pentrel::filter;

namespace {

constexpr int UPS_STATE = 210;
constexpr int ITEM_203 = 203;
constexpr int ITEM_225 = 225;
constexpr int RUN_TIME_REMAINING = 9;
constexpr const char* kBatteryMarker = "c:\\temp\\upsonbatt.txt";

// OrvGet is given no size; the last byte is kept a terminator so a text is never read past the
// buffer, whatever the library wrote.
template <std::size_t N>
bool ReadItem(int item, char (&buffer)[N]) {
  buffer[N - 1] = '\0';
  const bool ok = OrvGet(item, buffer) == 0;
  buffer[N - 1] = '\0';
  return ok;
}

}  // namespace

int CUpsStatusFilter::IsUpsOnBattery() {
  int result = 0;
  try {
    char item[kItemBufferSize] = {};
    if (!ReadItem(UPS_STATE, item))
      throw PT_Exception(
          "Communications with the ups service failed unexpectedly (OrvGet UPS_STATE Failed)");
    if (std::atoi(item) == 0) {
      WriteTrace("LINE GOOD");
      WriteTrace(item);
    } else if (!ReadItem(ITEM_203, item)) {
      WriteTrace("LINE_BAD == 0! SimpleSig");
      result = 1;
    } else if (std::atoi(item) == 306) {
      if (!ReadItem(ITEM_225, item)) {
        WriteTrace("LINE_BAD == 0! 2G");
        result = 1;
      } else if (std::atoi(item) == 392) {
        WriteTrace("LINE_BAD == 0!");
        result = 1;
      }
    }
  } catch (PT_Exception e) {
    SetError();
    WriteTrace("Error on Orv Get");
    e.ReportError();
  }
  if (pentrel::platform::PathExists(kBatteryMarker)) result = 1;
  return result;
}

int CUpsStatusFilter::AppendUpsInfoToCgiUrl(std::span<char> url) {
  // The caller's buffer is sized to take the whole query; the bounded appends keep it that way.
  AppendBounded(url, "?");
  WriteTrace("AppendUpsInfoToCgiUrl");
  if (IsUpsOnBattery() == 1) {
    char runtime[kRuntimeBufferSize] = {};
    if (!ReadItem(RUN_TIME_REMAINING, runtime)) {
      WriteTrace("Error on OrvGet");
      throw PT_Exception(
          "Communications with the ups service failed unexpectedly (OrvGet RUN_TIME_REMAINING "
          "Failed)");
    }
    AppendBounded(url, runtime);
    WriteTrace(url.data());
    return 1;
  }
  AppendBounded(url, "-1");
  WriteTrace("newURLHeader ON_LINE");
  WriteTrace(url.data());
  return 1;
}
