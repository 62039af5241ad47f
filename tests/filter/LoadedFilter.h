// PENTREL.so opened for one test with dlopen and closed again (which really unloads it).
#pragma once

#include <stdexcept>
#include <string>

#include "host/Isapi.h"

namespace pentrel::test {

class LoadedFilter {
 public:
  LoadedFilter();  // constructs the filter, running its start-up
  ~LoadedFilter();
  LoadedFilter(const LoadedFilter&) = delete;
  LoadedFilter& operator=(const LoadedFilter&) = delete;

  isapi::PFN_GetFilterVersion GetFilterVersion = nullptr;
  isapi::PFN_HttpFilterProc HttpFilterProc = nullptr;

 private:
  void* handle_ = nullptr;
};

}  // namespace pentrel::test
