#include "Trace.h"

#include <pentrel/platform/Platform.h>

namespace pentrel::diag {

void WriteTrace(std::string_view message) noexcept {
  try {
    pentrel::platform::AppendTextLine(kTraceLogPath, message);
  } catch (...) {
    // Tracing must never disturb the request it describes.
  }
}

}  // namespace pentrel::diag
