// Standard output as a Windows text-mode stream, so a CGI program's bytes are the same on every system.
#pragma once

#include <string_view>

namespace pentrel::platform {

// Writes `text` and a line end to standard output, every LF (the line end's too) leaving as CR LF,
// then flushes. Write errors are ignored: a CGI program has nowhere to report them.
void WriteStdoutLine(std::string_view text);

}  // namespace pentrel::platform
