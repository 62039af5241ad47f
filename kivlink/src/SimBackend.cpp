#include "SimBackend.h"

#include <fstream>
#include <sstream>

#include "kivlink.h"

namespace kivlink {

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}
}  // namespace

std::map<std::string, std::string> ParseDevFile(std::string_view text) {
  std::map<std::string, std::string> vars;
  while (!text.empty()) {
    const auto lf = text.find('\n');
    const std::string_view line = Trim(text.substr(0, lf));
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.empty() || line.front() == '#') continue;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    std::string_view value = Trim(line.substr(colon + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (!name.empty()) vars[std::string(name)] = std::string(value);
  }
  return vars;
}

int SimBackend::Refresh() {
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(file_, ec);
  if (ec) return KIVLINK_ERR_CONNECT;
  const auto size = std::filesystem::file_size(file_, ec);
  if (ec) return KIVLINK_ERR_CONNECT;
  if (loaded_ && stamp == stamp_ && size == size_) return KIVLINK_OK;
  std::ifstream in(file_, std::ios::binary);
  if (!in) return KIVLINK_ERR_CONNECT;
  std::ostringstream text;
  text << in.rdbuf();
  vars_ = ParseDevFile(text.str());
  stamp_ = stamp;
  size_ = size;
  loaded_ = true;
  return KIVLINK_OK;
}

int SimBackend::Connect() {
  std::lock_guard lock(mutex_);
  return Refresh();
}

Reading SimBackend::GetVar(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (const int rc = Refresh(); rc != KIVLINK_OK) return {rc, {}};
  const auto it = vars_.find(name);
  if (it == vars_.end()) return {KIVLINK_ERR_VAR_NOT_SUPPORTED, {}};
  return {KIVLINK_OK, it->second};
}

}  // namespace kivlink
