#include "TempRoot.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace pentrel::test {

TempRoot::TempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pentrel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  std::filesystem::create_directories(root_ / "c" / "temp");
  if (const char* old = getenv("PENTREL_ROOT")) {
    hadRoot_ = true;
    oldRoot_ = old;
  }
  setenv("PENTREL_ROOT", root_.c_str(), 1);
}

TempRoot::~TempRoot() {
  if (hadRoot_) {
    setenv("PENTREL_ROOT", oldRoot_.c_str(), 1);
  } else {
    unsetenv("PENTREL_ROOT");
  }
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::string TempRoot::ReadTrace() const {
  std::error_code ec;
  if (!std::filesystem::exists(TraceFile(), ec)) return {};
  return ReadFile(TraceFile());
}

std::vector<std::string> TempRoot::TraceLines() const {
  const std::string text = ReadTrace();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "trace log ends without CR LF: " << text.substr(start);
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace pentrel::test
