#include "Handles.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

void ReportErrorEvent(std::string_view source, std::string_view message) {
  const std::string sourceName(source);
  const std::string text(message);
  windows::UniqueEventSource handle(::RegisterEventSourceA("", sourceName.c_str()));
  if (!handle) return;
  const char* strings[] = {sourceName.c_str(), text.c_str()};
  ::ReportEventA(handle.Get(), EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
}

}  // namespace pentrel::platform
