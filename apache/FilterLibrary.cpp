#include "FilterLibrary.h"

#include <dlfcn.h>

#include <cstring>

namespace pentrel::apache {

void FilterLibrary::DlClose::operator()(void* handle) const {
  if (handle != nullptr) dlclose(handle);
}

FilterLibrary::FilterLibrary(std::string path, Handle handle, isapi::PFN_HttpFilterProc proc,
                             const isapi::HTTP_FILTER_VERSION& version)
    : m_path(std::move(path)), m_handle(std::move(handle)), m_proc(proc), m_version(version) {}

std::unique_ptr<FilterLibrary> FilterLibrary::Load(const std::string& path, std::string& error) {
  // RTLD_NOW: an unresolved import is reported here, not at the first request.
  Handle handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    const char* why = dlerror();
    error = "cannot load ISAPI filter " + path + ": " + (why != nullptr ? why : "unknown error");
    return nullptr;
  }
  auto getVersion =
      reinterpret_cast<isapi::PFN_GetFilterVersion>(dlsym(handle.get(), "GetFilterVersion"));
  auto proc = reinterpret_cast<isapi::PFN_HttpFilterProc>(dlsym(handle.get(), "HttpFilterProc"));
  if (getVersion == nullptr || proc == nullptr) {
    error = "ISAPI filter " + path + " does not export " +
            (getVersion == nullptr ? "GetFilterVersion" : "HttpFilterProc");
    return nullptr;
  }

  isapi::HTTP_FILTER_VERSION version{};
  version.dwServerFilterVersion = isapi::HTTP_FILTER_REVISION;
  if (getVersion(&version) != isapi::TRUE) {
    error = "ISAPI filter " + path + " refused registration (GetFilterVersion returned FALSE)";
    return nullptr;
  }
  // The description is the filter's text: never trust it to be terminated.
  version.lpszFilterDesc[isapi::SF_MAX_FILTER_DESC_LEN - 1] = '\0';
  // As on IIS, a filter that names neither port kind is called for both.
  if ((version.dwFlags & (isapi::SF_NOTIFY_SECURE_PORT | isapi::SF_NOTIFY_NONSECURE_PORT)) == 0)
    version.dwFlags |= isapi::SF_NOTIFY_SECURE_PORT | isapi::SF_NOTIFY_NONSECURE_PORT;
  return std::unique_ptr<FilterLibrary>(
      new FilterLibrary(path, std::move(handle), proc, version));
}

}  // namespace pentrel::apache
