// A drive root, a registry, a wrapper template and a scripted UPS for one load of the filter.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "LoadedFilter.h"
#include "ScriptedKivlink.h"
#include "SyslogSink.h"
#include "TempRoot.h"

namespace pentrel::test {

inline const std::string kKeyText = "SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0";
inline const std::vector<std::string> kStartupLines = {"", "OrvInit() went OK", kKeyText,
                                                       "Back on track"};

// The lines of one request up to the URL check, for a URL read as `url`.
std::vector<std::string> Stem(const std::string& url);
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b);

// Scripted UPS states.
void ScriptOnLine();
void ScriptOnBattery(const char* runtime = "12");

class FilterTest : public ::testing::Test {
 public:
  FilterTest();

  // The registry file, with the wrapper path as its value (nothing: no value at all).
  void WriteRegistry(const std::optional<std::string>& wrapperPath);
  void WriteRegistryText(std::string_view text);
  std::filesystem::path TemplatePath() const { return root_.Path() / "wrap.htm"; }
  void WriteTemplate(std::string_view bytes);

  void Load() { filter_ = std::make_unique<LoadedFilter>(); }
  void Unload() { filter_.reset(); }
  LoadedFilter& Filter() { return *filter_; }

  // Runs one request and returns its status; the trace is cleared first so TraceLines shows it alone.
  isapi::DWORD Send(Request& request);
  // Whether the filter now passes everything untouched (a probe request shows only three lines).
  bool IsLatched();
  void ClearTrace();
  std::vector<std::string> TraceLines() const { return root_.TraceLines(); }
  // Event messages received since the last call, without the syslog framing.
  std::vector<std::string> Events(std::size_t atLeast = 0);

  TempRoot root_;
  SyslogSink sink_;
  std::unique_ptr<LoadedFilter> filter_;
};

}  // namespace pentrel::test
