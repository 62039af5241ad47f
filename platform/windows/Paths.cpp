#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

// Windows paths need no translation on Windows.
std::string ResolvePath(std::string_view windowsPath) { return std::string(windowsPath); }

}  // namespace pentrel::platform
