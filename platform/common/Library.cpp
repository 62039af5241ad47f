#include <utility>

#include <pentrel/platform/Library.h>

namespace pentrel::platform {

// Ownership moves alike on every system; loading and unloading are the systems' own.
Library::Library(Library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

Library::~Library() { Unload(); }

}  // namespace pentrel::platform
