// The operating-system services the filter uses, behind a few calls. Paths are given in Windows form
// ("C:\temp\err.txt"); each system resolves them its own way (see ResolvePath).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pentrel::platform {

// Where a Windows path lives on this system. On Windows the path itself; on POSIX "X:\a\b" becomes
// "$PENTREL_ROOT/x/a/b" (default root /var/lib/pentrel) and an absolute POSIX path stays as it is.
std::string ResolvePath(std::string_view windowsPath);

// Appends `text` and a line end to the file in text mode (every LF stored as CR LF), creating the file
// but never its directory. The line leaves in one write, so lines from concurrent callers stay whole.
// Other handles may read and write the file meanwhile. Returns false when the line was dropped.
bool AppendTextLine(std::string_view windowsPath, std::string_view text);

// Reports one error event from `source` carrying `message` to the system's event log. Failures are
// silent: a missing log drops the event.
void ReportErrorEvent(std::string_view source, std::string_view message);

enum class RegistryStatus {
  Ok,           // the data and its size are in the caller's buffer
  KeyNotFound,  // the key cannot be opened
  ValueNotFound,
  MoreData,     // the data does not fit; `size` holds the bytes needed
  Unreadable,   // the registry itself cannot be read
};

// Reads value `name` of key HKEY_LOCAL_MACHINE\`key` the way RegQueryValueExA does: `size` gives the
// buffer's capacity in bytes and comes back as the bytes written (a string's terminator included), or
// as the bytes needed with MoreData. Any value type is returned as its raw data. The key is opened with
// read access and closed again before the call returns.
RegistryStatus ReadLocalMachineValue(std::string_view key, std::string_view name, char* buffer,
                                     std::uint32_t& size);

enum class ReadLinesStatus {
  Ok,
  NotOpened,  // missing, not a regular file, no access, or held open by someone else
  ReadError,  // opened, but reading failed part-way
};

// Opens a text file for reading with no sharing (the open fails while any other handle holds it), calls
// `opened` once it is open, then `line` for each line without its line end (LF or CR LF; a last line
// without one counts too). The file is closed on every way out, also when a callback throws.
ReadLinesStatus ReadTextFileLines(std::string_view windowsPath, const std::function<void()>& opened,
                                  const std::function<void(std::string_view)>& line);

// True when a file or a directory of that name exists.
bool PathExists(std::string_view windowsPath);

}  // namespace pentrel::platform
