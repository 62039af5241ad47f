// Owners for the Win32 handles the platform layer opens.
#pragma once

#include <windows.h>

#include <utility>

namespace pentrel::platform::windows {

// Traits give the invalid value as a function: INVALID_HANDLE_VALUE is a cast, not a constant
// expression, so it cannot be a template argument.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = decltype(Traits::Invalid());

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, Traits::Invalid());
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return h_; }
  // For calls that return the handle through an out parameter.
  Handle* Out() {
    Reset();
    return &h_;
  }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  void Reset() {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = Traits::Invalid();
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct FileTraits {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct KeyTraits {
  static HKEY Invalid() noexcept { return nullptr; }
  static void Close(HKEY k) noexcept { ::RegCloseKey(k); }
};
struct EventSourceTraits {
  static HANDLE Invalid() noexcept { return nullptr; }
  static void Close(HANDLE h) noexcept { ::DeregisterEventSource(h); }
};

using UniqueFile = UniqueHandle<FileTraits>;
using UniqueKey = UniqueHandle<KeyTraits>;
using UniqueEventSource = UniqueHandle<EventSourceTraits>;

}  // namespace pentrel::platform::windows
