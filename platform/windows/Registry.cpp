#include "Handles.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::platform {

RegistryStatus ReadLocalMachineValue(std::string_view key, std::string_view name, char* buffer,
                                     std::uint32_t& size) {
  const std::string keyText(key);
  const std::string valueName(name);
  windows::UniqueKey hkey;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyText.c_str(), 0, KEY_READ, hkey.Out()) != ERROR_SUCCESS)
    return RegistryStatus::KeyNotFound;
  DWORD type = 0;
  DWORD bytes = size;
  const LONG rc = ::RegQueryValueExA(hkey.Get(), valueName.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer), &bytes);
  size = bytes;
  switch (rc) {
    case ERROR_SUCCESS: return RegistryStatus::Ok;
    case ERROR_MORE_DATA: return RegistryStatus::MoreData;
    case ERROR_FILE_NOT_FOUND: return RegistryStatus::ValueNotFound;
    default: return RegistryStatus::Unreadable;
  }
}

}  // namespace pentrel::platform
