// Text-mode conversions shared by the systems: what a Windows C runtime does to a text stream.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pentrel::platform::common {

// The bytes that reach a text-mode file for `text` followed by a line feed: every LF becomes CR LF.
std::string TextModeLine(std::string_view text);

// Splits bytes read from a text file into lines: each loses its LF or CR LF; a last line without a
// line end still counts; nothing after a final line end makes an extra line.
class LineSplitter {
 public:
  explicit LineSplitter(const std::function<void(std::string_view)>& line) : line_(line) {}
  void Feed(std::string_view bytes);
  void Finish();

 private:
  void Emit();
  const std::function<void(std::string_view)>& line_;
  std::string pending_;
};

}  // namespace pentrel::platform::common
