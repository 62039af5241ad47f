// The built-in simulator: a file of "name: value" lines in the format of NUT's dummy-ups .dev files,
// read again whenever it changes. A missing file stands for a service that is down.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>

#include "Backend.h"

namespace kivlink {

class SimBackend final : public Backend {
 public:
  explicit SimBackend(std::filesystem::path file) : file_(std::move(file)) {}
  int Connect() override;
  Reading GetVar(const std::string& name) override;

 private:
  // Re-reads the file when its time stamp or size changed; KIVLINK_OK when vars_ is current.
  int Refresh();

  const std::filesystem::path file_;
  std::mutex mutex_;
  bool loaded_ = false;
  std::filesystem::file_time_type stamp_{};
  std::uintmax_t size_ = 0;
  std::map<std::string, std::string> vars_;
};

// Parses dummy-ups lines: "name: value", "#" comments, and dummy-ups' own commands (TIMER) skipped.
std::map<std::string, std::string> ParseDevFile(std::string_view text);

}  // namespace kivlink
