// Start-up: the UPS connection, the registry value, the wrapper template and their failures.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>

#include "FilterFixture.h"

namespace pentrel::test {
namespace {

const std::string kUnreachable = "Initialise: Unable to connect - ensure ORV UPS service is running";
const std::string kRegistryFailure = "Failed to query registry for wrapper file path";
const std::string kUnopenable = "Initialise: pt_wrap.htm not found or unopenable!";
const std::string kNoKeyword = "Keyword ORIGINAL_PAGE not found in pt_wrap.htm";

class StartupTest : public FilterTest {
 public:
  // A path of exactly `length` characters inside the drive root, holding a good template.
  std::string TemplateOfLength(std::size_t length) {
    const std::string dir = root_.Path().string() + "/";
    std::string path = dir + std::string(length - dir.size(), 't');
    WriteFile(path, "<p>ORIGINAL_PAGE</p>\n");
    return path;
  }
};

struct FailureCase {
  const char* name;
  std::function<void(StartupTest&)> arrange;
  std::vector<std::string> lines;  // the whole start-up trace
  std::string message;             // also sent as the event
};

class HeldLock {
 public:
  explicit HeldLock(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY)) {
    ::flock(fd_, LOCK_EX);
  }
  ~HeldLock() { ::close(fd_); }

 private:
  int fd_;
};

TEST_F(StartupTest, EachFailureLatchesTracesAndReportsOnce) {
  const std::vector<std::string> upTo = {"", "OrvInit() went OK", kKeyText};
  const FailureCase cases[] = {
      {"service unreachable", [](StartupTest&) { ScriptInitResult(4); }, {"OrvInit failed"}, kUnreachable},
      {"no registry file",
       [](StartupTest& t) { std::filesystem::remove(t.root_.Path() / "registry.reg"); }, upTo, kRegistryFailure},
      {"key missing",
       [](StartupTest& t) {
         t.WriteRegistryText("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\2.0]\r\n"
                             "\"Wrapper File\"=\"/x\"\r\n");
       },
       upTo, kRegistryFailure},
      {"value missing", [](StartupTest& t) { t.WriteRegistry(std::nullopt); }, upTo, kRegistryFailure},
      {"registry unreadable", [](StartupTest& t) { t.WriteRegistryText("not a registry file\r\n"); }, upTo,
       kRegistryFailure},
      {"path of 128 characters", [](StartupTest& t) { t.WriteRegistry(t.TemplateOfLength(128)); }, upTo,
       kRegistryFailure},
      {"template missing", [](StartupTest& t) { std::filesystem::remove(t.TemplatePath()); }, upTo, kUnopenable},
      {"template is a directory",
       [](StartupTest& t) {
         std::filesystem::remove(t.TemplatePath());
         std::filesystem::create_directory(t.TemplatePath());
       },
       upTo, kUnopenable},
      {"keyword missing", [](StartupTest& t) { t.WriteTemplate("<p>original_page</p>\n"); },
       upTo + std::vector<std::string>{"Back on track"}, kNoKeyword},
      {"keyword broken by a line end", [](StartupTest& t) { t.WriteTemplate("ORIGINAL\nPAGE\n"); },
       upTo + std::vector<std::string>{"Back on track"}, kNoKeyword},
      {"empty template", [](StartupTest& t) { t.WriteTemplate(""); },
       upTo + std::vector<std::string>{"Back on track"}, kNoKeyword},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptReset();
    ScriptOnBattery();
    WriteTemplate("<p>ORIGINAL_PAGE</p>\n");
    WriteRegistry(TemplatePath().string());
    ClearTrace();
    c.arrange(*this);
    Load();
    EXPECT_EQ(TraceLines(), c.lines + std::vector<std::string>{c.message});
    EXPECT_EQ(Events(1), std::vector<std::string>{c.message});
    EXPECT_EQ(ScriptInitCalls(), 1);
    EXPECT_TRUE(IsLatched());
    // Latched: even an on-battery page passes, and the UPS is not asked.
    Request page{.url = "/index.htm"};
    EXPECT_EQ(Send(page), isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
    EXPECT_TRUE(page.order.empty());
    EXPECT_EQ(ScriptCalls(210), 0);
    ClearTrace();
    Unload();
    EXPECT_EQ(TraceLines(), std::vector<std::string>{"CleanUp() went OK"});
    EXPECT_TRUE(Events().empty()) << "exactly one event per failure";
    std::filesystem::remove_all(TemplatePath());
  }
}

TEST_F(StartupTest, TemplateHeldByAnotherHandleIsUnopenable) {
  HeldLock lock(TemplatePath());
  Load();
  EXPECT_EQ(TraceLines().back(), kUnopenable);
  EXPECT_TRUE(IsLatched());
}

TEST_F(StartupTest, PathOf127CharactersIsAccepted) {
  WriteRegistry(TemplateOfLength(127));
  Load();
  EXPECT_EQ(TraceLines(), kStartupLines);
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(IsLatched());
}

TEST_F(StartupTest, WrapperPathMayBeAWindowsPathUnderTheDriveRoot) {
  WriteFile(root_.Path() / "c" / "inetpub" / "pt_wrap.htm", "[ORIGINAL_PAGE]");
  WriteRegistry("C:\\inetpub\\pt_wrap.htm");
  Load();
  ScriptOnBattery();
  Request page{.url = "/a.htm"};
  EXPECT_EQ(Send(page), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);
  EXPECT_EQ(page.body, "[/a.htm]\n");
}

// The template is split at its first keyword into the texts around the URL of every wrapped page.
TEST_F(StartupTest, TemplateSplitsAtTheFirstKeyword) {
  const struct {
    const char* name;
    std::string file;
    std::string prefix, suffix;
  } cases[] = {
      {"CR LF lines, no final line end", "A\r\nORIGINAL_PAGE\r\nB", "A\n", "\nB\n"},
      {"keyword inside a line", "<p>ORIGINAL_PAGE</p>\n", "<p>", "</p>\n"},
      {"keyword twice", "xORIGINAL_PAGEyORIGINAL_PAGEz", "x", "yORIGINAL_PAGEz\n"},
      {"keyword first", "ORIGINAL_PAGE tail\n", "", " tail\n"},
      {"keyword last, no line end", "head ORIGINAL_PAGE", "head ", "\n"},
      {"empty lines kept", "\n\nORIGINAL_PAGE\n\n", "\n\n", "\n\n"},
      {"lone CR stays", "a\rb ORIGINAL_PAGE\n", "a\rb ", "\n"},
      {"long line", std::string(100000, 'L') + "ORIGINAL_PAGE\n", std::string(100000, 'L'), "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteTemplate(c.file);
    ClearTrace();
    Load();
    ASSERT_EQ(TraceLines(), kStartupLines);
    ScriptOnBattery();
    Request page{.url = "/x.htm"};
    EXPECT_EQ(Send(page), isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN);
    EXPECT_EQ(page.body, c.prefix + "/x.htm" + c.suffix);
    Unload();
  }
}

}  // namespace
}  // namespace pentrel::test
