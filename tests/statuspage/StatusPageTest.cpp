// Runs the built pt_notfy with an explicit environment and compares its whole output, byte for byte.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct RunResult {
  std::string output;
  int exitStatus = -1;  // -1 unless the program exited normally
};

// Closes a pipe end on every way out of a test.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// The environment holds QUERY_STRING only when `query` has a value, so "absent" really is absent.
RunResult RunStatusPage(const std::optional<std::string>& query) {
  RunResult result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe2: " << errno;
    return result;
  }
  Fd readEnd(fds[0]);
  Fd writeEnd(fds[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::string program = PT_NOTFY_PATH;
  std::vector<char*> argv{program.data(), nullptr};
  std::string queryVar = query ? "QUERY_STRING=" + *query : std::string();
  std::string pathVar = "PATH=/usr/bin:/bin";
  std::vector<char*> envp{pathVar.data()};
  if (query) envp.push_back(queryVar.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.Close();
  if (spawned != 0) {
    ADD_FAILURE() << "posix_spawn " << program << ": " << spawned;
    return result;
  }

  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(readEnd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(chunk, static_cast<std::size_t>(n));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

enum class Status { None, OnLine, OnBattery };

// The page the program must write, each line ending in CR LF. `shown` is line 9's figure as it must
// appear in the HTML.
std::string ExpectedPage(Status status, const std::string& shown = {}) {
  std::vector<std::string> lines{
      "Content-type: text/html",
      "",
      "",
      "<meta http-equiv=\"Refresh\" content=\"15\">",
      "<HTML><HEAD><TITLE>Server NO err</TITLE>",
      "</HEAD> ",
      "<BODY BGCOLOR=WHITE>",
  };
  if (status == Status::OnLine) {
    lines.push_back("<IMG SRC=\"/pentrel/online.gif\" ALIGN=RIGHT BORDER=0>");
    lines.push_back("<B><FONT SIZE=4> UPS On Line!  </FONT></B>");
  } else if (status == Status::OnBattery) {
    lines.push_back("<IMG SRC=\"/pentrel/onbattery.gif\" ALIGN=RIGHT BORDER=0>");
    lines.push_back("<B><FONT SIZE=4> Runtime remaining: " + shown + " minutes </FONT></B>");
  }
  lines.push_back("</BODY></HTML>");

  std::string page;
  for (const auto& line : lines) page += line + "\r\n";
  return page;
}

struct Case {
  std::optional<std::string> query;
  Status status;
  std::string shown;  // for on-battery pages
};

void ExpectPages(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(!c.query                ? std::string("no QUERY_STRING")
                 : c.query->size() <= 60 ? "QUERY_STRING=\"" + *c.query + "\""
                                         : std::to_string(c.query->size()) + "-byte QUERY_STRING");
    const RunResult run = RunStatusPage(c.query);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output, ExpectedPage(c.status, c.shown));
  }
}

TEST(StatusPage, NoQueryGivesNoStatusLines) { ExpectPages({{std::nullopt, Status::None, ""}}); }

TEST(StatusPage, MinusOneInAnySpellingIsOnLine) {
  ExpectPages({
      {"-1", Status::OnLine, ""},
      {" -1", Status::OnLine, ""},
      {"\t\n\v\f\r -1", Status::OnLine, ""},
      {"-1abc", Status::OnLine, ""},
      {"-1 ", Status::OnLine, ""},
      {"-01", Status::OnLine, ""},
      {"-0000000000000000000000000001", Status::OnLine, ""},
      {"-1&<b>", Status::OnLine, ""},
  });
}

TEST(StatusPage, OtherQueriesShowTheirTextAsRuntime) {
  ExpectPages({
      {"", Status::OnBattery, ""},
      {"25", Status::OnBattery, "25"},
      {"0", Status::OnBattery, "0"},
      {"-2", Status::OnBattery, "-2"},
      {"+1", Status::OnBattery, "+1"},
      {"1", Status::OnBattery, "1"},
      {"abc", Status::OnBattery, "abc"},
      {"%2D1", Status::OnBattery, "%2D1"},
      {"- 1", Status::OnBattery, "- 1"},
      {"--1", Status::OnBattery, "--1"},
      {"+-1", Status::OnBattery, "+-1"},
      {" 12 minutes+", Status::OnBattery, " 12 minutes+"},
      {"\xC3\xA9\x7F", Status::OnBattery, "\xC3\xA9\x7F"},
  });
}

TEST(StatusPage, MarkupInTheQueryIsEscaped) {
  ExpectPages({
      {"<script>&\"'", Status::OnBattery, "&lt;script&gt;&amp;&quot;&#39;"},
      {"5<img src=x onerror=alert(1)>", Status::OnBattery, "5&lt;img src=x onerror=alert(1)&gt;"},
      {"&amp;", Status::OnBattery, "&amp;amp;"},
  });
}

// Figures that a 32- or 64-bit wraparound would turn into -1.
TEST(StatusPage, OutOfRangeNumbersNeverWrapToOnLine) {
  ExpectPages({
      {"4294967295", Status::OnBattery, "4294967295"},
      {"-4294967297", Status::OnBattery, "-4294967297"},
      {"2147483648", Status::OnBattery, "2147483648"},
      {"-2147483649", Status::OnBattery, "-2147483649"},
      {"18446744073709551615", Status::OnBattery, "18446744073709551615"},
      {"-18446744073709551617", Status::OnBattery, "-18446744073709551617"},
      {"-9223372036854775809", Status::OnBattery, "-9223372036854775809"},
  });
}

TEST(StatusPage, LongQueryIsWrittenWhole) {
  const std::string digits(20000, '9');
  const std::string minus = "-" + std::string(20000, '1');
  ExpectPages({
      {digits, Status::OnBattery, digits},
      {minus, Status::OnBattery, minus},
  });
}

}  // namespace
