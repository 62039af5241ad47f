#include "LoadedFilter.h"

#include <dlfcn.h>

namespace pentrel::test {

LoadedFilter::LoadedFilter() {
  handle_ = dlopen(PENTREL_FILTER_PATH, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error(dlerror());
  GetFilterVersion = reinterpret_cast<isapi::PFN_GetFilterVersion>(dlsym(handle_, "GetFilterVersion"));
  HttpFilterProc = reinterpret_cast<isapi::PFN_HttpFilterProc>(dlsym(handle_, "HttpFilterProc"));
  if (GetFilterVersion == nullptr || HttpFilterProc == nullptr)
    throw std::runtime_error("PENTREL.so lacks its entry points");
}

LoadedFilter::~LoadedFilter() { dlclose(handle_); }

}  // namespace pentrel::test
