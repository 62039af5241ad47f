#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "../common/RegFile.h"
#include "Root.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

namespace {
constexpr std::streamsize kMaxRegistryFile = 4 << 20;
}

RegistryStatus ReadLocalMachineValue(std::string_view key, std::string_view name, char* buffer,
                                     std::uint32_t& size) {
  const std::string path = posix::PentrelRoot() + "/registry.reg";
  std::ifstream in(path, std::ios::binary);
  if (!in) return RegistryStatus::KeyNotFound;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad() || bytes.tellp() > kMaxRegistryFile) return RegistryStatus::Unreadable;
  const auto file = common::RegFile::Parse(bytes.str());
  if (!file) return RegistryStatus::Unreadable;

  const std::string fullKey = "HKEY_LOCAL_MACHINE\\" + std::string(key);
  if (!file->HasKey(fullKey)) return RegistryStatus::KeyNotFound;
  const std::string* data = file->Find(fullKey, name);
  if (data == nullptr) return RegistryStatus::ValueNotFound;
  if (data->size() > size) {
    size = static_cast<std::uint32_t>(data->size());
    return RegistryStatus::MoreData;
  }
  if (!data->empty()) std::memcpy(buffer, data->data(), data->size());
  size = static_cast<std::uint32_t>(data->size());
  return RegistryStatus::Ok;
}

}  // namespace pentrel::platform
