// The trace log: one line per call appended to C:\temp\err.txt, opened and closed each time.
#pragma once

#include <string_view>

namespace pentrel::diag {

inline constexpr const char* kTraceLogPath = "C:\\temp\\err.txt";

// Never fails towards the caller: a line that cannot be written is dropped.
void WriteTrace(std::string_view message) noexcept;

}  // namespace pentrel::diag
