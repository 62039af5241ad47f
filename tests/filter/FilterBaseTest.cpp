// The filter base on its own: routing to the slots, the defaults, and the exported entry points
// while no filter is registered.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "host/FilterBase.h"

extern "C" isapi::BOOL PENTREL_WINAPI GetFilterVersion(isapi::PHTTP_FILTER_VERSION);
extern "C" isapi::DWORD PENTREL_WINAPI HttpFilterProc(isapi::PHTTP_FILTER_CONTEXT, isapi::DWORD,
                                                      isapi::LPVOID);

namespace {

using pentrel::host::CHttpFilter;
using pentrel::host::CHttpFilterContext;

// Records which slot a notification reached; keeps every base default.
class Recorder final : public CHttpFilter {
 public:
  isapi::DWORD OnPreprocHeaders(CHttpFilterContext* pfc, isapi::PHTTP_FILTER_PREPROC_HEADERS h) override {
    return Hit("OnPreprocHeaders", pfc, h);
  }
  isapi::DWORD OnReadRawData(CHttpFilterContext* pfc, isapi::LPVOID d) override { return Hit("OnReadRawData", pfc, d); }
  isapi::DWORD OnAuthentication(CHttpFilterContext* pfc, isapi::LPVOID d) override { return Hit("OnAuthentication", pfc, d); }
  isapi::DWORD OnUrlMap(CHttpFilterContext* pfc, isapi::LPVOID d) override { return Hit("OnUrlMap", pfc, d); }
  isapi::DWORD OnSendRawData(CHttpFilterContext* pfc, isapi::LPVOID d) override { return Hit("OnSendRawData", pfc, d); }
  isapi::DWORD OnLog(CHttpFilterContext* pfc, isapi::LPVOID d) override { return Hit("OnLog", pfc, d); }
  isapi::DWORD OnEndOfNetSession(CHttpFilterContext* pfc) override { return Hit("OnEndOfNetSession", pfc, nullptr); }

  std::string slot;
  isapi::PHTTP_FILTER_CONTEXT raw = nullptr;
  void* data = nullptr;

 private:
  isapi::DWORD Hit(const char* name, CHttpFilterContext* pfc, void* d) {
    slot = name;
    raw = pfc->Raw();
    data = d;
    return 0x1234;
  }
};

class Defaults final : public CHttpFilter {};

TEST(FilterBaseTest, EntryPointsWithoutARegisteredFilter) {
  ASSERT_EQ(CHttpFilter::Registered(), nullptr);
  isapi::HTTP_FILTER_VERSION version;
  std::memset(&version, 0x5A, sizeof version);
  isapi::HTTP_FILTER_VERSION before = version;
  EXPECT_EQ(GetFilterVersion(&version), isapi::FALSE);
  EXPECT_EQ(std::memcmp(&version, &before, sizeof version), 0);
  isapi::HTTP_FILTER_CONTEXT pfc{};
  EXPECT_EQ(HttpFilterProc(&pfc, isapi::SF_NOTIFY_PREPROC_HEADERS, nullptr),
            isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
}

TEST(FilterBaseTest, RegistrationLastsForTheObjectsLifetime) {
  {
    Defaults filter;
    EXPECT_EQ(CHttpFilter::Registered(), &filter);
  }
  EXPECT_EQ(CHttpFilter::Registered(), nullptr);
}

TEST(FilterBaseTest, RoutesEachNotificationTypeToItsSlot) {
  const struct {
    isapi::DWORD type;
    std::optional<std::string> slot;
  } cases[] = {
      {0x8000, "OnReadRawData"}, {0x4000, "OnPreprocHeaders"}, {0x2000, "OnAuthentication"},
      {0x1000, "OnUrlMap"},      {0x400, "OnSendRawData"},     {0x200, "OnLog"},
      {0x100, "OnEndOfNetSession"}, {0x80, std::nullopt},     {0x40, std::nullopt},
      {0x6000, std::nullopt},    {0, std::nullopt},
  };
  Recorder filter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    filter.slot.clear();
    isapi::HTTP_FILTER_CONTEXT pfc{};
    int payload = 0;
    const isapi::DWORD status = HttpFilterProc(&pfc, c.type, &payload);
    if (c.slot) {
      EXPECT_EQ(filter.slot, *c.slot);
      EXPECT_EQ(status, 0x1234u);
      EXPECT_EQ(filter.raw, &pfc);
      EXPECT_EQ(filter.data, c.type == 0x100 ? nullptr : &payload);
    } else {
      EXPECT_EQ(filter.slot, "");
      EXPECT_EQ(status, isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
    }
  }
}

TEST(FilterBaseTest, DefaultsPassEveryNotificationAndRegisterAtLowPriority) {
  Defaults filter;
  for (const isapi::DWORD type : {0x8000u, 0x4000u, 0x2000u, 0x1000u, 0x400u, 0x200u, 0x100u}) {
    SCOPED_TRACE(type);
    isapi::HTTP_FILTER_CONTEXT pfc{};
    EXPECT_EQ(HttpFilterProc(&pfc, type, nullptr), isapi::SF_STATUS_REQ_NEXT_NOTIFICATION);
  }
  isapi::HTTP_FILTER_VERSION version;
  std::memset(&version, 0x5A, sizeof version);
  EXPECT_EQ(GetFilterVersion(&version), isapi::TRUE);
  EXPECT_EQ(version.dwFlags, isapi::SF_NOTIFY_ORDER_DEFAULT);
  EXPECT_EQ(version.dwFilterVersion, isapi::HTTP_FILTER_REVISION);
  EXPECT_STREQ(version.lpszFilterDesc, "");
}

}  // namespace
