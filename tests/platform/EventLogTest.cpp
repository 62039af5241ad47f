// Error events: one datagram per report, none for an empty message, silence without a log.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "SyslogSink.h"
#include "TempRoot.h"
#include "diag/PT_Exception.h"

namespace pentrel::test {
namespace {

TEST(EventLogTest, ReportErrorSendsTheMessageFromTheSource) {
  TempRoot root;
  SyslogSink sink(root.Path() / "log.sock");
  const struct {
    std::string message;
    std::vector<std::string> events;
  } cases[] = {
      {"x", {"<27>Pentrel for MSIIS: x"}},
      {"", {}},
      {"Failed to Get Header SEVERE", {"<27>Pentrel for MSIIS: Failed to Get Header SEVERE"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const PT_Exception original(c.message);
    const PT_Exception copy = original;
    copy.ReportError();
    EXPECT_EQ(sink.Take(c.events.size(), std::chrono::milliseconds(c.events.empty() ? 100 : 2000)), c.events);
  }
}

TEST(EventLogTest, MissingLogDropsTheEvent) {
  TempRoot root;
  setenv("PENTREL_SYSLOG_SOCKET", (root.Path() / "nobody-listens").c_str(), 1);
  PT_Exception("lost").ReportError();
  setenv("PENTREL_SYSLOG_SOCKET", std::string(200, 'x').c_str(), 1);
  PT_Exception("lost").ReportError();
  unsetenv("PENTREL_SYSLOG_SOCKET");
  SUCCEED();
}

}  // namespace
}  // namespace pentrel::test
