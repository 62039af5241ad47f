#include "Protocol.h"

#include <array>
#include <utility>

#include "kivlink.h"

namespace kivlink::nut {

std::optional<std::vector<std::string>> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    std::string word;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const unsigned char q = static_cast<unsigned char>(line[i++]);
        if (q == '"') {
          closed = true;
          break;
        }
        if (q == '\\') {
          if (i == line.size() || (line[i] != '"' && line[i] != '\\')) return std::nullopt;
          word += line[i++];
        } else if (q < 0x20 && q != '\t') {
          return std::nullopt;
        } else {
          word += static_cast<char>(q);
        }
      }
      // A closing quote must end the word.
      if (!closed || (i < line.size() && line[i] != ' ' && line[i] != '\t')) return std::nullopt;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
        const unsigned char b = static_cast<unsigned char>(line[i++]);
        if (b < 0x20 || b == '"' || b == '\\') return std::nullopt;
        word += static_cast<char>(b);
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string Quote(std::string_view word) {
  std::string quoted = "\"";
  for (const char c : word) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

int ErrorCode(std::string_view reason) {
  static constexpr std::array<std::pair<std::string_view, int>, 23> kTable{{
      {"ACCESS-DENIED", KIVLINK_ERR_ACCESS_DENIED},
      {"INVALID-USERNAME", KIVLINK_ERR_ACCESS_DENIED},
      {"INVALID-PASSWORD", KIVLINK_ERR_ACCESS_DENIED},
      {"USERNAME-REQUIRED", KIVLINK_ERR_ACCESS_DENIED},
      {"PASSWORD-REQUIRED", KIVLINK_ERR_ACCESS_DENIED},
      {"UNKNOWN-UPS", KIVLINK_ERR_NO_SUCH_UPS},
      {"VAR-NOT-SUPPORTED", KIVLINK_ERR_VAR_NOT_SUPPORTED},
      {"CMD-NOT-SUPPORTED", KIVLINK_ERR_VAR_NOT_SUPPORTED},
      {"DATA-STALE", KIVLINK_ERR_DATA_STALE},
      {"WAIT", KIVLINK_ERR_DATA_STALE},
      {"DRIVER-NOT-CONNECTED", KIVLINK_ERR_DRIVER_NOT_CONNECTED},
      {"INVALID-ARGUMENT", KIVLINK_ERR_ARGUMENT},
      {"INVALID-VALUE", KIVLINK_ERR_ARGUMENT},
      {"TOO-LONG", KIVLINK_ERR_ARGUMENT},
      {"UNKNOWN-COMMAND", KIVLINK_ERR_PROTOCOL},
      {"ALREADY-LOGGED-IN", KIVLINK_ERR_PROTOCOL},
      {"ALREADY-SET-USERNAME", KIVLINK_ERR_PROTOCOL},
      {"ALREADY-SET-PASSWORD", KIVLINK_ERR_PROTOCOL},
      {"ALREADY-SSL-MODE", KIVLINK_ERR_PROTOCOL},
      {"FEATURE-NOT-SUPPORTED", KIVLINK_ERR_PROTOCOL},
      {"FEATURE-NOT-CONFIGURED", KIVLINK_ERR_PROTOCOL},
      {"READONLY", KIVLINK_ERR_PROTOCOL},
      {"SET-FAILED", KIVLINK_ERR_PROTOCOL},
  }};
  for (const auto& [name, code] : kTable)
    if (name == reason) return code;
  return KIVLINK_ERR_UNKNOWN;
}

int ReplyCode(const std::vector<std::string>& words, std::string_view expected) {
  if (words.empty()) return KIVLINK_ERR_PROTOCOL;
  if (words[0] == "ERR") return words.size() >= 2 ? ErrorCode(words[1]) : KIVLINK_ERR_PROTOCOL;
  return words[0] == expected ? KIVLINK_OK : KIVLINK_ERR_PROTOCOL;
}

}  // namespace kivlink::nut
