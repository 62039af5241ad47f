// What a web server promises when a callback hands text to a filter (GetHeader, GetServerVariable):
// the text and its terminator are copied when they fit the size offered; otherwise nothing is copied,
// the size needed is written back and the answer is FALSE. Shared by the hosts of this project.
#pragma once

#include <cstring>
#include <string_view>

#include "Isapi.h"

namespace pentrel::host {

inline isapi::BOOL CopyOutText(std::string_view value, void* buffer, isapi::DWORD* size) {
  if (size == nullptr || value.size() >= 0xFFFFFFFFu) return isapi::FALSE;
  const auto needed = static_cast<isapi::DWORD>(value.size() + 1);
  if (buffer == nullptr || needed > *size) {
    *size = needed;
    return isapi::FALSE;
  }
  std::memcpy(buffer, value.data(), value.size());
  static_cast<char*>(buffer)[value.size()] = '\0';
  *size = needed;
  return isapi::TRUE;
}

}  // namespace pentrel::host
