#include <dlfcn.h>

#include <pentrel/platform/Library.h>

namespace pentrel::platform {

Library::Library(const std::string& path) {
  // dlopen searches the library path for a bare name; a filter named on a command line means a file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error_ = why != nullptr ? why : "dlopen failed";
  }
}

Library::Function Library::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Function>(::dlsym(handle_, name));
}

void Library::Unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace pentrel::platform
