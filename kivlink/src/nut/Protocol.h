// The text side of the NUT network protocol: words of a line, quoting, ERR replies. No I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivlink::nut {

// Longest reply line accepted; anything longer is not upsd talking.
inline constexpr std::size_t kMaxLineLength = 4096;

// Splits a line into words separated by blanks; a word in double quotes may hold blanks and the
// escapes \" and \\. Nothing for a malformed line: an open quote, a stray escape, control bytes.
std::optional<std::vector<std::string>> SplitWords(std::string_view line);

// The word as one quoted argument of a command, escaping " and \.
std::string Quote(std::string_view word);

// The kivlink result code for the reason of an "ERR <reason>" reply.
int ErrorCode(std::string_view reason);

// The code of a reply's words: KIVLINK_ERR_* for ERR replies, KIVLINK_ERR_PROTOCOL for anything
// else; KIVLINK_OK only for a reply that starts with `expected` (e.g. "OK").
int ReplyCode(const std::vector<std::string>& words, std::string_view expected);

}  // namespace kivlink::nut
