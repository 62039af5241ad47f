// kivlink through its C interface, driven by the simulator's file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "SimBackend.h"
#include "TempRoot.h"
#include "kivlink.h"

namespace pentrel::test {
namespace {

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("KIVLINK_UPS"); }
  // Rewrites the file by rename, as the switch command does, so readers never see half a file.
  void Write(std::string_view text) {
    WriteFile(dev_.string() + ".new", text);
    std::filesystem::rename(dev_.string() + ".new", dev_);
  }
  std::string Server() const { return "sim:" + dev_.string(); }
  static std::optional<std::string> Item(int item) {
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    if (OrvGet(item, buffer) != KIVLINK_OK) return std::nullopt;
    return std::string(buffer);
  }

  TempRoot root_;
  std::filesystem::path dev_ = root_.Path() / "ups.dev";
};

TEST_F(SimulatorTest, ItemsFollowUpsStatus) {
  const struct {
    const char* status;
    const char *state, *source, *flow;
  } cases[] = {
      {"OL", "0", "305", "391"},
      {"OL CHRG", "0", "305", "391"},
      {"OB DISCHRG", "1", "306", "392"},
      {"OB", "1", "306", "392"},
      {"OB CHRG", "1", "306", "391"},
      {"OL DISCHRG", "0", "305", "392"},
      {"OL OB", "1", "306", "392"},
      {"OFF", "2", "304", "391"},
      {"", "2", "304", "391"},
      {"BYPASS LB", "2", "304", "391"},
      {"ol", "2", "304", "391"},
  };
  Write("ups.status: OL\n");
  ASSERT_EQ(InitClient(Server().c_str()), KIVLINK_OK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Write(std::string("# dummy-ups file\nbattery.charge: 100\nups.status: ") + c.status + "\nTIMER 5\n");
    EXPECT_EQ(Item(KIVLINK_UPS_STATE), c.state);
    EXPECT_EQ(Item(KIVLINK_POWER_SOURCE), c.source);
    EXPECT_EQ(Item(KIVLINK_BATTERY_FLOW), c.flow);
  }
}

TEST_F(SimulatorTest, RuntimeInWholeMinutes) {
  const struct {
    const char* line;
    std::optional<std::string> minutes;
  } cases[] = {
      {"battery.runtime: 720", "12"},
      {"battery.runtime: 779", "12"},
      {"battery.runtime: 59", "0"},
      {"battery.runtime: 720.75", "12"},
      {"battery.runtime: \"600\"", "10"},
      {"battery.runtime: 1e12", "9999999"},
      {"battery.runtime: -5", std::nullopt},
      {"battery.runtime: soon", std::nullopt},
      {"battery.runtime: 12abc", std::nullopt},
      {"battery.runtime:", std::nullopt},
      {"battery.charge: 50", std::nullopt},
  };
  Write("ups.status: OB\n");
  ASSERT_EQ(InitClient(Server().c_str()), KIVLINK_OK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Write(std::string("ups.status: OB\n") + c.line + "\n");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    const int rc = OrvGet(KIVLINK_RUN_TIME_REMAINING, buffer);
    EXPECT_EQ(rc == KIVLINK_OK ? std::optional<std::string>(buffer) : std::nullopt, c.minutes);
  }
}

TEST_F(SimulatorTest, MissingFileIsAServiceThatIsDown) {
  EXPECT_NE(InitClient(Server().c_str()), KIVLINK_OK);
  EXPECT_EQ(Item(KIVLINK_UPS_STATE), std::nullopt);
  // The service coming up is seen on the next call.
  Write("ups.status: OB\n");
  EXPECT_EQ(Item(KIVLINK_UPS_STATE), "1");
  std::filesystem::remove(dev_);
  EXPECT_EQ(Item(KIVLINK_UPS_STATE), std::nullopt);
}

TEST_F(SimulatorTest, ServerChoiceAndBadArguments) {
  Write("ups.status: OB\n");
  setenv("KIVLINK_UPS", Server().c_str(), 1);
  EXPECT_EQ(InitClient(""), KIVLINK_OK);
  EXPECT_EQ(Item(KIVLINK_UPS_STATE), "1");
  EXPECT_EQ(InitClient(nullptr), KIVLINK_OK);
  unsetenv("KIVLINK_UPS");
  for (const char* bad : {"sim:", "what://x", "simulator"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(InitClient(bad), KIVLINK_ERR_ARGUMENT);
  }
  EXPECT_EQ(Item(42), std::nullopt);
  EXPECT_NE(OrvGet(KIVLINK_UPS_STATE, nullptr), KIVLINK_OK);
  EXPECT_STRNE(KivlinkErrorText(KIVLINK_ERR_CONNECT), KivlinkErrorText(KIVLINK_ERR_TIMEOUT));
}

TEST(DevFileTest, ParsesDummyUpsLines) {
  const auto vars = kivlink::ParseDevFile(
      "# comment\r\nups.status: OB DISCHRG\r\n  battery.runtime :  720  \nTIMER 10\nnot a var\n"
      "ups.model: \"Smart 1500\"\nups.status: OL\n");
  EXPECT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars.at("ups.status"), "OL");
  EXPECT_EQ(vars.at("battery.runtime"), "720");
  EXPECT_EQ(vars.at("ups.model"), "Smart 1500");
}

TEST_F(SimulatorTest, ReadersFromManyThreadsWhileTheFileSwitches) {
  Write("ups.status: OL\nbattery.runtime: 600\n");
  ASSERT_EQ(InitClient(Server().c_str()), KIVLINK_OK);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  {
    std::vector<std::jthread> readers;
    for (int t = 0; t < 8; ++t)
      readers.emplace_back([&] {
        while (!stop) {
          const auto state = Item(KIVLINK_UPS_STATE);
          if (!state || (*state != "0" && *state != "1")) ++bad;
        }
      });
    for (int i = 0; i < 200; ++i)
      Write(i % 2 ? "ups.status: OB\nbattery.runtime: 60\n" : "ups.status: OL\nbattery.runtime: 600\n");
    stop = true;
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace pentrel::test
