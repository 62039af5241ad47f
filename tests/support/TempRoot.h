// A fresh drive root for one test: $PENTREL_ROOT with C:\temp, removed again afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pentrel::test {

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::filesystem::path& Path() const { return root_; }
  std::filesystem::path TraceFile() const { return root_ / "c" / "temp" / "err.txt"; }
  // The trace log split at CR LF; a line end other than CR LF fails the test.
  std::vector<std::string> TraceLines() const;
  std::string ReadTrace() const;

 private:
  std::filesystem::path root_;
  std::string oldRoot_;
  bool hadRoot_ = false;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace pentrel::test
