// Start-up (connect to the UPS service, find and split the wrapper template) and shutdown.
#include <cstring>
#include <exception>
#include <string>

#include "UpsStatusFilter.h"
#include "diag/PT_Exception.h"
#include "kivlink.h"
#include <pentrel/platform/Platform.h>

using namespace pentrel::filter;
namespace platform = pentrel::platform;

namespace {
constexpr const char* kBaseKey = "SOFTWARE\\ORV\\Pentrel for MSIIS";
constexpr const char* kValueName = "Wrapper File";
constexpr std::uint32_t kRegistryBufferSize = 128;
constexpr const char* kKeyword = "ORIGINAL_PAGE";
constexpr std::size_t kKeywordLength = 13;

constexpr const char* kRegistryFailure = "Failed to query registry for wrapper file path";
constexpr const char* kTemplateUnopenable = "Initialise: pt_wrap.htm not found or unopenable!";
}  // namespace

void CUpsStatusFilter::Initialise() {
  const auto fail = [this](const std::string& message) {
    SetError();
    WriteTrace(message.c_str());
    PT_Exception(message).ReportError();
    m_wrapperPrefix.clear();
    m_wrapperSuffix.clear();
  };
  try {
    try {
      if (InitClient("") != 0) {
        WriteTrace("OrvInit failed");
        throw "Initialise: Unable to connect - ensure ORV UPS service is running";
      }
      WriteTrace("");
      WriteTrace("OrvInit() went OK");

      const std::string keyText = std::string(kBaseKey) + "\\" + kVersionText;
      WriteTrace(keyText.c_str());

      char data[kRegistryBufferSize] = {};
      std::uint32_t size = kRegistryBufferSize;
      if (platform::ReadLocalMachineValue(keyText, kValueName, data, size) !=
          platform::RegistryStatus::Ok)
        throw kRegistryFailure;
      // The path ends at the first NUL within what was returned; data without one cannot hold a
      // path of at most 127 characters.
      const std::size_t length = strnlen(data, size);
      if (length >= kRegistryBufferSize) throw kRegistryFailure;
      const std::string wrapperPath(data, length);

      std::string templateText;
      const auto status = platform::ReadTextFileLines(
          wrapperPath, [this] { WriteTrace("Back on track"); },
          [&templateText](std::string_view line) {
            templateText.append(line);
            templateText += '\n';
          });
      if (status == platform::ReadLinesStatus::NotOpened) throw kTemplateUnopenable;
      if (status == platform::ReadLinesStatus::ReadError)
        throw "Initialise: pt_wrap.htm could not be read";

      const std::size_t p = templateText.find(kKeyword);
      if (p == std::string::npos) throw "Keyword ORIGINAL_PAGE not found in pt_wrap.htm";
      m_wrapperPrefix = templateText.substr(0, p);
      m_wrapperSuffix = templateText.substr(p + kKeywordLength);
    } catch (const char* message) {
      fail(message);
    }
  } catch (const std::exception& e) {
    fail(std::string("Initialise: unexpected failure: ") + e.what());
  } catch (...) {
    fail("Initialise: unexpected failure");
  }
}

void CUpsStatusFilter::CleanUp() { WriteTrace("CleanUp() went OK"); }
