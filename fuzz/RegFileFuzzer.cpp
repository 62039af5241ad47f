// Any bytes as a registry file: the parser must answer or refuse, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto file = pentrel::platform::common::RegFile::Parse(bytes)) {
    file->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0");
    file->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0", "Wrapper File");
  }
  return 0;
}
