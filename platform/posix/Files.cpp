#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "../common/TextMode.h"
#include "UniqueFd.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

using posix::UniqueFd;

bool AppendTextLine(std::string_view windowsPath, std::string_view text) {
  const std::string path = ResolvePath(windowsPath);
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!fd) return false;
  const std::string bytes = common::TextModeLine(text);
  // O_APPEND makes each write land whole at the current end, whoever else appends.
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd.Get(), rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

ReadLinesStatus ReadTextFileLines(std::string_view windowsPath, const std::function<void()>& opened,
                                  const std::function<void(std::string_view)>& line) {
  const std::string path = ResolvePath(windowsPath);
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return ReadLinesStatus::NotOpened;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadLinesStatus::NotOpened;
  // Stands in for Windows' share mode 0: refuse while anyone else holds a lock on the file.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return ReadLinesStatus::NotOpened;
  opened();
  common::LineSplitter splitter(line);
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadLinesStatus::ReadError;
    if (n == 0) break;
    splitter.Feed(std::string_view(chunk, static_cast<size_t>(n)));
  }
  splitter.Finish();
  return ReadLinesStatus::Ok;
}

bool PathExists(std::string_view windowsPath) {
  struct stat st {};
  return ::stat(ResolvePath(windowsPath).c_str(), &st) == 0;
}

}  // namespace pentrel::platform
