#include "NutUrl.h"

#include <charconv>

namespace kivlink::nut {

namespace {

std::optional<std::string> PercentDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= s.size()) return std::nullopt;
    const auto [end, ec] = std::from_chars(s.data() + i + 1, s.data() + i + 3, value, 16);
    if (ec != std::errc() || end != s.data() + i + 3 || value == 0) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

std::optional<unsigned long> Number(std::string_view s, unsigned long max) {
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value > max) return std::nullopt;
  return value;
}

bool ValidName(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) <= ' ') return false;
  return true;
}

}  // namespace

std::optional<NutTarget> ParseNutUrl(std::string_view url) {
  constexpr std::string_view kScheme = "nut://";
  if (!url.starts_with(kScheme)) return std::nullopt;
  url.remove_prefix(kScheme.size());
  NutTarget t;

  std::string_view query;
  if (const auto q = url.find('?'); q != std::string_view::npos) {
    query = url.substr(q + 1);
    url = url.substr(0, q);
  }
  std::string_view path;
  if (const auto slash = url.find('/'); slash != std::string_view::npos) {
    path = url.substr(slash + 1);
    url = url.substr(0, slash);
  }
  if (const auto at = url.rfind('@'); at != std::string_view::npos) {
    const std::string_view userinfo = url.substr(0, at);
    url = url.substr(at + 1);
    const auto colon = userinfo.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    auto user = PercentDecode(userinfo.substr(0, colon));
    auto password = PercentDecode(userinfo.substr(colon + 1));
    if (!user || !password || user->empty() || !ValidName(*user)) return std::nullopt;
    t.user = std::move(*user);
    t.password = std::move(*password);
  }

  std::string_view port;
  if (url.starts_with('[')) {  // [IPv6 address]
    const auto close = url.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    t.host = url.substr(1, close - 1);
    const std::string_view rest = url.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    if (!rest.empty()) port = rest.substr(1);
    if (rest == ":") return std::nullopt;
  } else {
    const auto colon = url.find(':');
    t.host = url.substr(0, colon);
    if (colon != std::string_view::npos) {
      port = url.substr(colon + 1);
      if (port.empty()) return std::nullopt;
    }
  }
  if (t.host.empty() || !ValidName(t.host)) return std::nullopt;
  if (!port.empty()) {
    const auto p = Number(port, 65535);
    if (!p || *p == 0) return std::nullopt;
    t.port = static_cast<std::uint16_t>(*p);
  }

  if (!path.empty()) {
    auto ups = PercentDecode(path);
    if (!ups || !ValidName(*ups) || ups->find('/') != std::string::npos) return std::nullopt;
    t.ups = std::move(*ups);
  }

  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    const auto eq = pair.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = pair.substr(0, eq);
    const auto value = Number(pair.substr(eq + 1), 600000);
    if (!value) return std::nullopt;
    if (key == "cache") {
      t.cache = std::chrono::milliseconds(*value);
    } else if (key == "timeout" && *value >= 1) {
      t.timeout = std::chrono::milliseconds(*value);
    } else {
      return std::nullopt;
    }
  }
  return t;
}

}  // namespace kivlink::nut
