#include <cstdio>

#include <pentrel/platform/StdoutText.h>

namespace pentrel::platform {

// C stdio rather than iostreams: it is usable from static constructors, which is where pt_notfy writes.
void WriteStdoutLine(std::string_view text) {
  for (char c : text) {
    if (c == '\n') std::putc('\r', stdout);
    std::putc(c, stdout);
  }
  std::fputs("\r\n", stdout);
  std::fflush(stdout);
}

}  // namespace pentrel::platform
