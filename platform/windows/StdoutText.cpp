#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <pentrel/platform/StdoutText.h>

namespace pentrel::platform {

void WriteStdoutLine(std::string_view text) {
  // The C runtime's text mode turns each LF into CR LF. Asked for explicitly, since a changed _fmode or
  // a binmode object linked in would otherwise leave bare LFs.
  static const bool textMode = (::_setmode(::_fileno(stdout), _O_TEXT), true);
  (void)textMode;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace pentrel::platform
