// The folder that stands for the Windows drives and registry on POSIX systems.
#pragma once

#include <string>

namespace pentrel::platform::posix {

// $PENTREL_ROOT, or /var/lib/pentrel, without a trailing slash.
std::string PentrelRoot();

}  // namespace pentrel::platform::posix
