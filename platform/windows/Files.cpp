#include "../common/TextMode.h"
#include "Handles.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

using windows::UniqueFile;

bool AppendTextLine(std::string_view windowsPath, std::string_view text) {
  const std::string path = ResolvePath(windowsPath);
  // Append-only access makes every write land whole at the end; full sharing lets others read and
  // write the log meanwhile. The LF to CR LF step is what a text-mode stream would do.
  UniqueFile file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const std::string bytes = common::TextModeLine(text);
  DWORD written = 0;
  return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

ReadLinesStatus ReadTextFileLines(std::string_view windowsPath, const std::function<void()>& opened,
                                  const std::function<void(std::string_view)>& line) {
  const std::string path = ResolvePath(windowsPath);
  // Read-only, share mode 0: the open fails while any other handle to the file is open. Text mode is
  // the splitter's work (CR LF or LF ends a line).
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ReadLinesStatus::NotOpened;
  // Only a file on disk: a device name such as CON would open and then block the read.
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return ReadLinesStatus::NotOpened;
  opened();
  common::LineSplitter splitter(line);
  char chunk[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.Get(), chunk, sizeof chunk, &n, nullptr)) return ReadLinesStatus::ReadError;
    if (n == 0) break;
    splitter.Feed(std::string_view(chunk, n));
  }
  splitter.Finish();
  return ReadLinesStatus::Ok;
}

// Files and directories alike count as present.
bool PathExists(std::string_view windowsPath) {
  return ::GetFileAttributesA(ResolvePath(windowsPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace pentrel::platform
