// Owners for the Win32 handles the platform layer opens.
#pragma once

#include <windows.h>

#include <utility>

namespace pentrel::platform::windows {

template <typename Handle, Handle Invalid, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, Invalid);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return h_; }
  Handle* Out() {
    Reset();
    return &h_;
  }
  explicit operator bool() const { return h_ != Invalid; }
  void Reset() {
    if (h_ != Invalid) Close(h_);
    h_ = Invalid;
  }

 private:
  Handle h_ = Invalid;
};

inline void CloseFile(HANDLE h) { ::CloseHandle(h); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline void CloseEventSource(HANDLE h) { ::DeregisterEventSource(h); }

using UniqueFile = UniqueHandle<HANDLE, INVALID_HANDLE_VALUE, CloseFile>;
using UniqueKey = UniqueHandle<HKEY, nullptr, CloseKey>;
using UniqueEventSource = UniqueHandle<HANDLE, nullptr, CloseEventSource>;

}  // namespace pentrel::platform::windows
