#include "QueryValue.h"

#include <cstddef>
#include <limits>

namespace pentrel::statuspage {

long long ConvertQueryValue(std::string_view query) {
  const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

  std::size_t i = 0;
  while (i < query.size() && isSpace(query[i])) ++i;
  bool negative = false;
  if (i < query.size() && (query[i] == '+' || query[i] == '-')) {
    negative = query[i] == '-';
    ++i;
  }

  // The magnitude is held unsigned and capped at that of the most negative value, which has no
  // positive counterpart.
  constexpr long long kMax = std::numeric_limits<long long>::max();
  constexpr unsigned long long kCap = static_cast<unsigned long long>(kMax) + 1;
  unsigned long long magnitude = 0;
  for (; i < query.size() && isDigit(query[i]); ++i) {
    const auto digit = static_cast<unsigned long long>(query[i] - '0');
    magnitude = magnitude > (kCap - digit) / 10 ? kCap : magnitude * 10 + digit;
  }

  if (negative) {
    return magnitude == kCap ? -kMax - 1 : -static_cast<long long>(magnitude);
  }
  return magnitude == kCap ? kMax : static_cast<long long>(magnitude);
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace pentrel::statuspage
