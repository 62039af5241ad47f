// Loading, registration and routing, seen through the exported entry points of PENTREL.so.
#include <cstring>

#include "FilterFixture.h"

namespace pentrel::test {
namespace {

class RegistrationTest : public FilterTest {};

TEST_F(RegistrationTest, GetFilterVersionFillsTheRecordWhateverTheStartUp) {
  for (const bool startupFails : {false, true}) {
    SCOPED_TRACE(startupFails ? "after a failed start-up" : "after a good start-up");
    ScriptInitResult(startupFails ? 4 : 0);
    Load();
    isapi::HTTP_FILTER_VERSION version;
    std::memset(&version, 0xAB, sizeof version);
    for (int call = 0; call < 2; ++call) {
      EXPECT_EQ(Filter().GetFilterVersion(&version), isapi::TRUE);
      EXPECT_EQ(version.dwFlags, 0x84003u);
      EXPECT_EQ(version.dwFilterVersion, 1u);
      EXPECT_STREQ(version.lpszFilterDesc, "pentrel Filter");
      EXPECT_EQ(version.dwServerFilterVersion, 0xABABABABu);
    }
    EXPECT_EQ(IsLatched(), startupFails);
    Unload();
  }
}

TEST_F(RegistrationTest, NotificationsOtherThanPreprocHeadersRunNoFilterCode) {
  Load();
  for (const isapi::DWORD type : {0x8000u, 0x2000u, 0x1000u, 0x400u, 0x200u, 0x100u, 0x80u, 0u, 0x4001u}) {
    SCOPED_TRACE(type);
    Request request{.url = "/index.htm"};
    ScriptOnBattery();
    ClearTrace();
    FakeHost host(request);
    EXPECT_EQ(host.Send(Filter().HttpFilterProc, type), isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
    EXPECT_TRUE(TraceLines().empty());
    EXPECT_TRUE(request.order.empty());
    EXPECT_EQ(request.setHeaderCalls, 0);
  }
  EXPECT_EQ(ScriptCalls(210), 0);
}

TEST_F(RegistrationTest, LoadingRunsStartUpAndUnloadingRunsCleanUp) {
  Load();
  EXPECT_EQ(TraceLines(), kStartupLines);
  EXPECT_EQ(ScriptInitCalls(), 1);
  Unload();
  EXPECT_EQ(TraceLines(), kStartupLines + std::vector<std::string>{"CleanUp() went OK"});
  // The library really left memory: a second load starts afresh.
  ClearTrace();
  Load();
  EXPECT_EQ(TraceLines(), kStartupLines);
  EXPECT_EQ(ScriptInitCalls(), 2);
}

}  // namespace
}  // namespace pentrel::test
