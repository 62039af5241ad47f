// Reader for the text files that Windows' regedit exports and `reg import` reads: "REGEDIT4" (ANSI) or
// "Windows Registry Editor Version 5.00" (usually UTF-16LE with a byte-order mark).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace pentrel::platform::common {

class RegFile {
 public:
  // Nothing on a malformed file: an unknown first line, a value outside a key, bad quoting or escapes,
  // bad hex data, or text that is not valid UTF-16.
  static std::optional<RegFile> Parse(std::string_view bytes);

  // Key paths are full ("HKEY_LOCAL_MACHINE\SOFTWARE\..."); key and value names match regardless of
  // letter case, as on Windows. "" names the default value (written as @ in the file).
  bool HasKey(std::string_view key) const;
  // The value's raw data as RegQueryValueExA returns it: a string with its terminator, a dword as four
  // little-endian bytes, hex data as its bytes (string types of a Version 5 file converted from UTF-16).
  const std::string* Find(std::string_view key, std::string_view name) const;

 private:
  using Values = std::map<std::string, std::string>;
  std::map<std::string, Values> keys_;
  friend class RegFileParser;
};

}  // namespace pentrel::platform::common
