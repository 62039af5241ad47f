#include <pentrel/platform/Platform.h>

#include <cctype>
#include <cstdlib>

#include "Root.h"

namespace pentrel::platform {

std::string posix::PentrelRoot() {
  const char* root = std::getenv("PENTREL_ROOT");
  std::string path = (root != nullptr && *root != '\0') ? root : "/var/lib/pentrel";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ResolvePath(std::string_view windowsPath) {
  const bool hasDrive = windowsPath.size() >= 2 && windowsPath[1] == ':' &&
                        std::isalpha(static_cast<unsigned char>(windowsPath[0]));
  if (!hasDrive) {
    std::string path(windowsPath);
    if (path.empty() || path.front() == '/') return path;
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }
  std::string path = posix::PentrelRoot() + '/';
  path += static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
  std::string_view rest = windowsPath.substr(2);
  if (rest.empty() || (rest.front() != '\\' && rest.front() != '/')) path += '/';
  for (char c : rest) path += (c == '\\') ? '/' : c;
  return path;
}

}  // namespace pentrel::platform
