#include <string>

#include <windows.h>
#include <pentrel/platform/Library.h>

namespace pentrel::platform {

namespace {

std::string ErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = "error " + std::to_string(code);
  if (n != 0 && text != nullptr) {
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    out += ": " + message;
  }
  if (text != nullptr) ::LocalFree(text);
  return out;
}

}  // namespace

Library::Library(const std::string& path) {
  // A full path lets the altered search order find the library's own imports (kivlink.dll) in its
  // folder, the way a server finds them beside the filter.
  char full[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) {
    error_ = "cannot resolve the path: " + ErrorText(::GetLastError());
    return;
  }
  // No "cannot find the DLL" message box: a missing library is reported as an error.
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = ::GetLastError();
  ::SetErrorMode(oldMode);
  if (module == nullptr) {
    error_ = ErrorText(code);
    return;
  }
  handle_ = module;
}

Library::Function Library::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Function>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void Library::Unload() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

}  // namespace pentrel::platform
