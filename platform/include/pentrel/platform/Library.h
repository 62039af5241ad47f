// Loading a shared library at run time (dlopen on POSIX, LoadLibrary on Windows), as a web server loads
// a filter. Used by the command-line filter host.
#pragma once

#include <string>

namespace pentrel::platform {

class Library {
 public:
  // Any function pointer; cast it to the real type before calling.
  using Function = void (*)();

  // Loads the library at `path`. A path without a directory part is taken from the current
  // directory, not from the system's search path. Check with operator bool; Error() says why.
  explicit Library(const std::string& path);
  Library(Library&& other) noexcept;
  Library& operator=(Library&& other) noexcept;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  // Unloads the library, which runs its exit handlers.
  ~Library();

  explicit operator bool() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

  // The exported function of that undecorated name, or null.
  Function Find(const char* name) const;

  // Unloads now; the object is then empty.
  void Unload();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace pentrel::platform
