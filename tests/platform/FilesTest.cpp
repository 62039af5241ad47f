// The text files of the filter: the trace log appended line by line, the template read exclusively.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "TempRoot.h"
#include "diag/Trace.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::test {
namespace {

namespace platform = pentrel::platform;

TEST(TraceLogTest, LinesAppendInTextMode) {
  TempRoot root;
  WriteFile(root.TraceFile(), "existing\r\n");
  for (const char* message : {"A", "", "two\nlines", "B"}) diag::WriteTrace(message);
  EXPECT_EQ(ReadFile(root.TraceFile()), "existing\r\nA\r\n\r\ntwo\r\nlines\r\nB\r\n");
}

TEST(TraceLogTest, MissingDirectoryDropsTheLineAndCreatesNothing) {
  TempRoot root;
  std::filesystem::remove_all(root.Path() / "c");
  diag::WriteTrace("lost");
  EXPECT_FALSE(std::filesystem::exists(root.Path() / "c"));
}

TEST(TraceLogTest, LinesStayWholeWhileOthersHoldTheFile) {
  TempRoot root;
  // Another handle that shares the file (as readers of the log do) does not stop tracing.
  WriteFile(root.TraceFile(), "");
  const int other = ::open(root.TraceFile().c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  const std::string line(3000, 'x');
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i) diag::WriteTrace(line);
      });
  }
  ::close(other);
  const auto lines = root.TraceLines();
  EXPECT_EQ(lines.size(), 1600u);
  for (const auto& l : lines) ASSERT_EQ(l, line);
}

TEST(TextFileTest, LinesLoseTheirLineEnds) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"no final line end", "a\r\nb", {"a", "b"}},
      {"empty lines", "\n\r\n\n", {"", "", ""}},
      {"empty file", "", {}},
      {"lone CR stays", "a\rb\n", {"a\rb"}},
      {"line longer than a read", std::string(20000, 'z') + "\r\nq", {std::string(20000, 'z'), "q"}},
  };
  TempRoot root;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(root.Path() / "t.htm", c.bytes);
    int opened = 0;
    std::vector<std::string> lines;
    EXPECT_EQ(platform::ReadTextFileLines((root.Path() / "t.htm").string(), [&] { ++opened; },
                                          [&](std::string_view l) { lines.emplace_back(l); }),
              platform::ReadLinesStatus::Ok);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(TextFileTest, OpenFailsWithoutCallingBack) {
  TempRoot root;
  const auto file = root.Path() / "t.htm";
  WriteFile(file, "x\n");
  std::filesystem::create_directory(root.Path() / "dir");
  const int holder = ::open(file.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  for (const std::string& path : {file.string(), (root.Path() / "missing").string(), (root.Path() / "dir").string()}) {
    SCOPED_TRACE(path);
    bool called = false;
    EXPECT_EQ(platform::ReadTextFileLines(path, [&] { called = true; }, [&](std::string_view) { called = true; }),
              platform::ReadLinesStatus::NotOpened);
    EXPECT_FALSE(called);
  }
  ::close(holder);
  // Once the other handle is gone the file opens, and is closed again after reading.
  EXPECT_EQ(platform::ReadTextFileLines(file.string(), [] {}, [](std::string_view) {}), platform::ReadLinesStatus::Ok);
  const int again = ::open(file.c_str(), O_RDONLY);
  EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
  ::close(again);
}

TEST(TextFileTest, FileIsClosedWhenACallbackThrows) {
  TempRoot root;
  const auto file = root.Path() / "t.htm";
  WriteFile(file, "x\n");
  EXPECT_THROW(platform::ReadTextFileLines(file.string(), [] {}, [](std::string_view) { throw 1; }), int);
  EXPECT_EQ(platform::ReadTextFileLines(file.string(), [] {}, [](std::string_view) {}), platform::ReadLinesStatus::Ok);
}

TEST(PathExistsTest, FilesAndDirectoriesCount) {
  TempRoot root;
  EXPECT_FALSE(platform::PathExists("c:\\temp\\upsonbatt.txt"));
  WriteFile(root.Path() / "c" / "temp" / "upsonbatt.txt", "");
  EXPECT_TRUE(platform::PathExists("c:\\temp\\upsonbatt.txt"));
  std::filesystem::remove(root.Path() / "c" / "temp" / "upsonbatt.txt");
  std::filesystem::create_directory(root.Path() / "c" / "temp" / "upsonbatt.txt");
  EXPECT_TRUE(platform::PathExists("c:\\temp\\upsonbatt.txt"));
}

}  // namespace
}  // namespace pentrel::test
