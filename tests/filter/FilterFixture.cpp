#include "FilterFixture.h"

#include <filesystem>

namespace pentrel::test {

std::vector<std::string> Stem(const std::string& url) {
  return {"PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "Inside GetError", "500", "GetUrlHeader",
          url, "After GetUrlHeader", "After GetURlHeader"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void ScriptOnLine() {
  ScriptItem(210, "0");
  ScriptItem(203, "305");
  ScriptItem(225, "391");
  ScriptItem(9, "45");
}

void ScriptOnBattery(const char* runtime) {
  ScriptItem(210, "1");
  ScriptItem(203, "306");
  ScriptItem(225, "392");
  ScriptItem(9, runtime);
}

FilterTest::FilterTest() : sink_(root_.Path() / "log.sock") {
  ScriptReset();
  ScriptOnLine();
  WriteTemplate("<p>ORIGINAL_PAGE</p>\n");
  WriteRegistry(TemplatePath().string());
}

void FilterTest::WriteRegistryText(std::string_view text) { WriteFile(root_.Path() / "registry.reg", text); }

void FilterTest::WriteRegistry(const std::optional<std::string>& wrapperPath) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" + kKeyText + "]\r\n";
  if (wrapperPath) {
    text += "\"Wrapper File\"=\"";
    for (char c : *wrapperPath) {
      if (c == '\\' || c == '"') text += '\\';
      text += c;
    }
    text += "\"\r\n";
  }
  WriteRegistryText(text);
}

void FilterTest::WriteTemplate(std::string_view bytes) { WriteFile(TemplatePath(), bytes); }

void FilterTest::ClearTrace() {
  std::error_code ec;
  std::filesystem::remove(root_.TraceFile(), ec);
}

isapi::DWORD FilterTest::Send(Request& request) {
  ClearTrace();
  FakeHost host(request);
  return host.Send(filter_->HttpFilterProc);
}

bool FilterTest::IsLatched() {
  Request probe{.url = "/probe.gif"};
  Send(probe);
  const auto lines = TraceLines();
  ClearTrace();
  return lines == std::vector<std::string>{"PHTTP_FILTER_PREPROC_HEADERS", "Inside try", "END of Proc"};
}

std::vector<std::string> FilterTest::Events(std::size_t atLeast) {
  std::vector<std::string> messages;
  for (const std::string& e : sink_.Take(atLeast, std::chrono::milliseconds(atLeast ? 2000 : 50))) {
    const std::string prefix = "<27>Pentrel for MSIIS: ";
    EXPECT_EQ(e.substr(0, prefix.size()), prefix) << e;
    messages.push_back(e.substr(std::min(prefix.size(), e.size())));
  }
  return messages;
}

}  // namespace pentrel::test
