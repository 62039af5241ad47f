// An ISAPI filter library loaded into this process: its handle, entry points and registration.
#pragma once

#include <memory>
#include <string>

#include "host/Isapi.h"

namespace pentrel::apache {

class FilterLibrary {
 public:
  // Loads the library, finds both exports and calls GetFilterVersion. On failure returns null
  // and puts a message naming the path into error.
  static std::unique_ptr<FilterLibrary> Load(const std::string& path, std::string& error);

  FilterLibrary(const FilterLibrary&) = delete;
  FilterLibrary& operator=(const FilterLibrary&) = delete;

  const std::string& Path() const { return m_path; }
  isapi::DWORD Flags() const { return m_version.dwFlags; }
  isapi::DWORD Version() const { return m_version.dwFilterVersion; }
  const char* Description() const { return m_version.lpszFilterDesc; }
  bool Wants(isapi::DWORD notification) const { return (m_version.dwFlags & notification) != 0; }

  isapi::DWORD HttpFilterProc(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::DWORD notification,
                              void* data) const {
    return m_proc(pfc, notification, data);
  }

 private:
  struct DlClose {
    void operator()(void* handle) const;
  };
  using Handle = std::unique_ptr<void, DlClose>;

  FilterLibrary(std::string path, Handle handle, isapi::PFN_HttpFilterProc proc,
                const isapi::HTTP_FILTER_VERSION& version);

  std::string m_path;
  Handle m_handle;
  isapi::PFN_HttpFilterProc m_proc;
  isapi::HTTP_FILTER_VERSION m_version;
};

}  // namespace pentrel::apache
