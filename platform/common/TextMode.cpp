#include "TextMode.h"

namespace pentrel::platform::common {

std::string TextModeLine(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  out += "\r\n";
  return out;
}

void LineSplitter::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
      pending_.append(bytes);
      return;
    }
    pending_.append(bytes.substr(0, lf));
    Emit();
    bytes.remove_prefix(lf + 1);
  }
}

void LineSplitter::Finish() {
  if (!pending_.empty()) Emit();
}

void LineSplitter::Emit() {
  if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
  line_(pending_);
  pending_.clear();
}

}  // namespace pentrel::platform::common
