// A real browser renders the wrapped page on battery: the notice, the asked-for page in its frame,
// the status page with the runtime, and the pictures. Screenshots stay in the build folder.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "Browser.h"
#include "Site.h"

namespace pentrel::e2e {
namespace {

using namespace std::chrono_literals;

// Empty until both frames and all pictures are loaded; then the texts joined by "|~|".
constexpr const char* kRendered =
    "(() => { const f = id => document.getElementById(id);"
    " const p = f('page') && f('page').contentDocument;"
    " const s = f('status') && f('status').contentDocument;"
    " if (!p || !s || p.URL === 'about:blank' || s.URL === 'about:blank'"
    "     || p.readyState !== 'complete' || s.readyState !== 'complete') return '';"
    " const pictures = [document.querySelector('header img'), s.querySelector('img')];"
    " if (pictures.some(i => !i || !i.complete)) return '';"
    " return [f('notice').innerText, p.body.innerText, s.body.innerText, f('asked').textContent,"
    "         pictures[0].naturalWidth, pictures[1].naturalWidth].join('|~|'); })()";

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;
       from = at + separator.size())
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

void Screenshot(Browser& browser, const std::string& session, const std::string& name) {
  const std::string reply =
      browser.Call("Page.captureScreenshot", R"({"format":"png"})", session);
  const std::string png = Base64Decode(JsonString(reply, "data"));
  ASSERT_GT(png.size(), 1000u) << name;
  std::ofstream(std::string(PENTREL_E2E_ARTIFACTS) + "/" + name, std::ios::binary) << png;
}

TEST(Browser, RendersTheWrappedPageWithTheOriginalAndTheRuntime) {
  if (!std::filesystem::exists(PENTREL_E2E_CHROMIUM)) GTEST_SKIP() << "no Chromium";
  Site site(WithUps("OB"));
  std::string error;
  ASSERT_TRUE(site.Start(error)) << error;
  Browser browser;
  ASSERT_TRUE(browser.Running());

  const std::string target =
      JsonString(browser.Call("Target.createTarget", R"({"url":"about:blank"})"), "targetId");
  ASSERT_FALSE(target.empty());
  const std::string session = JsonString(
      browser.Call("Target.attachToTarget", R"({"targetId":")" + target + R"(","flatten":true})"),
      "sessionId");
  ASSERT_FALSE(session.empty());
  browser.Call("Emulation.setDeviceMetricsOverride",
               R"({"width":1280,"height":860,"deviceScaleFactor":1,"mobile":false})", session);
  browser.Call("Page.navigate",
               R"({"url":"http://127.0.0.1:)" + std::to_string(site.Port()) + R"(/index.htm"})",
               session);

  std::string rendered;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (rendered.empty() && std::chrono::steady_clock::now() < deadline) {
    rendered = JsonString(browser.Call("Runtime.evaluate", std::string(R"({"expression":")") +
                                                               kRendered + R"(","returnByValue":true})",
                                       session),
                          "value");
    if (rendered.empty()) std::this_thread::sleep_for(200ms);
  }
  const auto parts = Split(rendered, "|~|");
  ASSERT_EQ(parts.size(), 6u) << rendered;
  EXPECT_NE(parts[0].find("running on battery power"), std::string::npos) << parts[0];
  EXPECT_NE(parts[1].find("Welcome to the Pentrel demo site"), std::string::npos) << parts[1];
  EXPECT_NE(parts[2].find("Runtime remaining: 12 minutes"), std::string::npos) << parts[2];
  EXPECT_EQ(parts[3], "/index.htm");
  EXPECT_EQ(parts[4], "64");  // our GIFs decode in a real browser
  EXPECT_EQ(parts[5], "64");
  Screenshot(browser, session, "wrapped-desktop.png");

  browser.Call("Emulation.setDeviceMetricsOverride",
               R"({"width":390,"height":844,"deviceScaleFactor":2,"mobile":true})", session);
  std::this_thread::sleep_for(500ms);
  Screenshot(browser, session, "wrapped-phone.png");
}

}  // namespace
}  // namespace pentrel::e2e
