// The one filter object, its registration record and its error flag.
#include <cstdlib>
#include <cstring>

#include "UpsStatusFilter.h"
#include "diag/Trace.h"

using namespace pentrel::filter;

namespace {
// Built while the library loads, destroyed by its exit handlers when it unloads.
CUpsStatusFilter theFilter;
}  // namespace

CUpsStatusFilter::CUpsStatusFilter() : m_wrapperSuffix(), m_wrapperPrefix(), m_error(0) {
  Initialise();
}

CUpsStatusFilter::~CUpsStatusFilter() {
  CleanUp();
  m_wrapperPrefix.clear();
  m_wrapperPrefix.shrink_to_fit();
  m_wrapperSuffix.clear();
  m_wrapperSuffix.shrink_to_fit();
}

isapi::BOOL CUpsStatusFilter::GetFilterVersion(isapi::PHTTP_FILTER_VERSION pVersion) {
  CHttpFilter::GetFilterVersion(pVersion);
  pVersion->dwFlags &= ~isapi::SF_NOTIFY_ORDER_MASK;
  pVersion->dwFilterVersion = static_cast<isapi::DWORD>(std::atoi(kVersionText));
  pVersion->dwFlags |= isapi::SF_NOTIFY_ORDER_HIGH | isapi::SF_NOTIFY_PREPROC_HEADERS |
                       isapi::SF_NOTIFY_NONSECURE_PORT | isapi::SF_NOTIFY_SECURE_PORT;
  static_assert(sizeof "pentrel Filter" <= isapi::SF_MAX_FILTER_DESC_LEN);
  std::memcpy(pVersion->lpszFilterDesc, kFilterDescription, std::strlen(kFilterDescription) + 1);
  return isapi::TRUE;
}

int CUpsStatusFilter::GetError() const { return m_error.load(std::memory_order_acquire); }

void CUpsStatusFilter::SetError() { m_error.store(1, std::memory_order_release); }

void CUpsStatusFilter::WriteTrace(const char* message) const { pentrel::diag::WriteTrace(message); }

bool pentrel::filter::AppendBounded(std::span<char> buffer, std::string_view text) {
  const std::size_t used = strnlen(buffer.data(), buffer.size());
  if (used == buffer.size() || text.size() >= buffer.size() - used) return false;
  std::memcpy(buffer.data() + used, text.data(), text.size());
  buffer[used + text.size()] = '\0';
  return true;
}
