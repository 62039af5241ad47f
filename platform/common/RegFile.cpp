#include "RegFile.h"

#include <cstdint>
#include <vector>

namespace pentrel::platform::common {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE to UTF-8; nothing when the units do not pair up.
std::optional<std::string> FromUtf16(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t unit = static_cast<unsigned char>(bytes[i]) |
                         (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const std::uint32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                                (static_cast<unsigned char>(bytes[i + 3]) << 8);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// A quoted text with \\ and \" escapes, from s[0] == '"'; the rest of s follows the closing quote.
std::optional<std::string> TakeQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
      out += s[++i];
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "aa,bb,cc" (spaces allowed around the commas) to bytes.
std::optional<std::string> ParseHexBytes(std::string_view s) {
  std::string out;
  s = TrimLeft(TrimRight(s));
  while (!s.empty()) {
    if (s.size() < 2 || HexDigit(s[0]) < 0 || HexDigit(s[1]) < 0) return std::nullopt;
    out += static_cast<char>(HexDigit(s[0]) * 16 + HexDigit(s[1]));
    s = TrimLeft(s.substr(2));
    if (s.empty()) break;
    if (s.front() != ',') return std::nullopt;
    s = TrimLeft(s.substr(1));
    if (s.empty()) return std::nullopt;
  }
  return out;
}

std::optional<std::string> ParseData(std::string_view s, bool unicode) {
  s = TrimRight(s);
  if (!s.empty() && s.front() == '"') {
    auto text = TakeQuoted(s);
    if (!text || !TrimLeft(s).empty()) return std::nullopt;
    text->push_back('\0');
    return text;
  }
  if (s.substr(0, 6) == "dword:") {
    const std::string_view digits = s.substr(6);
    if (digits.size() != 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return std::nullopt;
      v = v * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  }
  if (s.substr(0, 3) != "hex") return std::nullopt;
  s.remove_prefix(3);
  unsigned type = 3;  // REG_BINARY
  if (!s.empty() && s.front() == '(') {
    const auto close = s.find(')');
    if (close == std::string_view::npos || close == 1 || close > 9) return std::nullopt;
    type = 0;
    for (char c : s.substr(1, close - 1)) {
      if (HexDigit(c) < 0) return std::nullopt;
      type = type * 16 + static_cast<unsigned>(HexDigit(c));
    }
    s.remove_prefix(close + 1);
  }
  if (s.empty() || s.front() != ':') return std::nullopt;
  auto bytes = ParseHexBytes(s.substr(1));
  if (!bytes) return std::nullopt;
  const bool stringType = type == 1 || type == 2 || type == 7;  // REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ
  if (unicode && stringType) return FromUtf16(*bytes);
  return bytes;
}

}  // namespace

class RegFileParser {
 public:
  static std::optional<RegFile> Parse(std::string_view raw) {
    std::string text;
    if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') {
      auto decoded = FromUtf16(raw.substr(2));
      if (!decoded) return std::nullopt;
      text = std::move(*decoded);
    } else if (raw.substr(0, 3) == "\xEF\xBB\xBF") {
      text = raw.substr(3);
    } else {
      text = raw;
    }

    std::vector<std::string_view> lines;
    std::string_view rest = text;
    while (!rest.empty()) {
      const auto lf = rest.find('\n');
      lines.push_back(TrimRight(rest.substr(0, lf)));
      if (lf == std::string_view::npos) break;
      rest.remove_prefix(lf + 1);
    }
    if (lines.empty()) return std::nullopt;
    bool unicode = false;
    if (lines[0] == "Windows Registry Editor Version 5.00") {
      unicode = true;
    } else if (lines[0] != "REGEDIT4") {
      return std::nullopt;
    }

    RegFile file;
    RegFile::Values* current = nullptr;
    bool inDeletedKey = false;
    for (size_t i = 1; i < lines.size(); ++i) {
      std::string_view line = TrimLeft(lines[i]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        if (line.back() != ']') return std::nullopt;
        std::string_view key = line.substr(1, line.size() - 2);
        if (!key.empty() && key.front() == '-') {
          const std::string gone = Lower(key.substr(1));
          std::erase_if(file.keys_, [&](const auto& kv) {
            return kv.first == gone || kv.first.starts_with(gone + "\\");
          });
          current = nullptr;
          inDeletedKey = true;
          continue;
        }
        if (key.empty()) return std::nullopt;
        std::string lowered = Lower(key);
        for (auto slash = lowered.find('\\'); slash != std::string::npos;
             slash = lowered.find('\\', slash + 1))
          file.keys_.try_emplace(lowered.substr(0, slash));
        current = &file.keys_[lowered];
        inDeletedKey = false;
        continue;
      }
      // A value; hex data may go on over lines that end in a backslash.
      std::string joined(line);
      while (!joined.empty() && joined.back() == '\\' && i + 1 < lines.size()) {
        joined.pop_back();
        joined.append(TrimLeft(lines[++i]));
      }
      std::string_view v = joined;
      std::string name;
      if (v.front() == '@') {
        v.remove_prefix(1);
      } else {
        auto quoted = TakeQuoted(v);
        if (!quoted) return std::nullopt;
        name = std::move(*quoted);
      }
      v = TrimLeft(v);
      if (v.empty() || v.front() != '=') return std::nullopt;
      v = TrimLeft(v.substr(1));
      if (current == nullptr && !inDeletedKey) return std::nullopt;
      if (v == "-") {
        if (current != nullptr) current->erase(Lower(name));
        continue;
      }
      auto data = ParseData(v, unicode);
      if (!data) return std::nullopt;
      if (current != nullptr) (*current)[Lower(name)] = std::move(*data);
    }
    return file;
  }
};

std::optional<RegFile> RegFile::Parse(std::string_view bytes) { return RegFileParser::Parse(bytes); }

bool RegFile::HasKey(std::string_view key) const { return keys_.contains(Lower(key)); }

const std::string* RegFile::Find(std::string_view key, std::string_view name) const {
  const auto k = keys_.find(Lower(key));
  if (k == keys_.end()) return nullptr;
  const auto v = k->second.find(Lower(name));
  return v == k->second.end() ? nullptr : &v->second;
}

}  // namespace pentrel::platform::common
