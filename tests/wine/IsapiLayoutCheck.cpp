// Compile-time check of our ISAPI declarations against the toolchain's own <httpfilt.h>: a filter
// built from Isapi.h must be binary-compatible with what IIS passes. Nothing runs; the build fails.
#include "Isapi.h"

#include <cstddef>
#include <iterator>
#include <type_traits>

namespace ours {
// <windows.h> and <httpfilt.h> define these names as macros, so take our values before including them.
constexpr isapi::DWORD kNotify[] = {
    isapi::SF_NOTIFY_SECURE_PORT,       isapi::SF_NOTIFY_NONSECURE_PORT,
    isapi::SF_NOTIFY_READ_RAW_DATA,     isapi::SF_NOTIFY_PREPROC_HEADERS,
    isapi::SF_NOTIFY_AUTHENTICATION,    isapi::SF_NOTIFY_URL_MAP,
    isapi::SF_NOTIFY_ACCESS_DENIED,     isapi::SF_NOTIFY_SEND_RESPONSE,
    isapi::SF_NOTIFY_SEND_RAW_DATA,     isapi::SF_NOTIFY_LOG,
    isapi::SF_NOTIFY_END_OF_REQUEST,    isapi::SF_NOTIFY_END_OF_NET_SESSION,
    isapi::SF_NOTIFY_ORDER_HIGH,        isapi::SF_NOTIFY_ORDER_MEDIUM,
    isapi::SF_NOTIFY_ORDER_LOW,         isapi::SF_NOTIFY_ORDER_DEFAULT,
    isapi::SF_NOTIFY_ORDER_MASK,
};
constexpr isapi::DWORD kMaxFilterDescLen = isapi::SF_MAX_FILTER_DESC_LEN;
constexpr isapi::DWORD kRevision = isapi::HTTP_FILTER_REVISION;
constexpr isapi::BOOL kTrue = isapi::TRUE;
constexpr isapi::BOOL kFalse = isapi::FALSE;
}  // namespace ours

#include <windows.h>

#include <httpfilt.h>

namespace {

constexpr DWORD kTheirNotify[] = {
    SF_NOTIFY_SECURE_PORT,    SF_NOTIFY_NONSECURE_PORT,     SF_NOTIFY_READ_RAW_DATA,
    SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_AUTHENTICATION,    SF_NOTIFY_URL_MAP,
    SF_NOTIFY_ACCESS_DENIED,  SF_NOTIFY_SEND_RESPONSE,      SF_NOTIFY_SEND_RAW_DATA,
    SF_NOTIFY_LOG,            SF_NOTIFY_END_OF_REQUEST,     SF_NOTIFY_END_OF_NET_SESSION,
    SF_NOTIFY_ORDER_HIGH,     SF_NOTIFY_ORDER_MEDIUM,       SF_NOTIFY_ORDER_LOW,
    SF_NOTIFY_ORDER_DEFAULT,  SF_NOTIFY_ORDER_MASK,
};
static_assert(std::size(ours::kNotify) == std::size(kTheirNotify));

constexpr bool SameNotifyValues() {
  for (std::size_t i = 0; i < std::size(kTheirNotify); ++i)
    if (ours::kNotify[i] != kTheirNotify[i]) return false;
  return true;
}
static_assert(SameNotifyValues(), "an SF_NOTIFY_* value differs");
static_assert(ours::kMaxFilterDescLen == SF_MAX_FILTER_DESC_LEN);
static_assert(ours::kTrue == TRUE && ours::kFalse == FALSE);
// The toolchain's revision is IIS 6's (6.0); the filter base reports 2.0 on purpose. Same encoding.
static_assert(ours::kRevision == MAKELONG(0, 2) && HTTP_FILTER_REVISION == MAKELONG(0, 6));

// Scalar types as Windows has them (LLP64: DWORD 32-bit, pointers and ULONG_PTR 64-bit).
static_assert(sizeof(isapi::DWORD) == sizeof(DWORD) && std::is_unsigned_v<isapi::DWORD>);
static_assert(sizeof(isapi::BOOL) == sizeof(WINBOOL) && std::is_signed_v<isapi::BOOL>);
static_assert(sizeof(isapi::ULONG_PTR) == sizeof(ULONG_PTR));
static_assert(sizeof(isapi::SF_REQ_TYPE) == sizeof(SF_REQ_TYPE));

static_assert(isapi::SF_STATUS_REQ_FINISHED == SF_STATUS_REQ_FINISHED);
static_assert(isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN == SF_STATUS_REQ_FINISHED_KEEP_CONN);
static_assert(isapi::SF_STATUS_REQ_NEXT_NOTIFICATION == SF_STATUS_REQ_NEXT_NOTIFICATION);
static_assert(isapi::SF_STATUS_REQ_HANDLED_NOTIFICATION == SF_STATUS_REQ_HANDLED_NOTIFICATION);
static_assert(isapi::SF_STATUS_REQ_ERROR == SF_STATUS_REQ_ERROR);
static_assert(isapi::SF_STATUS_REQ_READ_NEXT == SF_STATUS_REQ_READ_NEXT);

static_assert(static_cast<int>(isapi::SF_REQ_SEND_RESPONSE_HEADER) == SF_REQ_SEND_RESPONSE_HEADER);
static_assert(static_cast<int>(isapi::SF_REQ_ADD_HEADERS_ON_DENIAL) == SF_REQ_ADD_HEADERS_ON_DENIAL);
static_assert(static_cast<int>(isapi::SF_REQ_SET_NEXT_READ_SIZE) == SF_REQ_SET_NEXT_READ_SIZE);
static_assert(static_cast<int>(isapi::SF_REQ_SET_PROXY_INFO) == SF_REQ_SET_PROXY_INFO);
static_assert(static_cast<int>(isapi::SF_REQ_GET_CONNID) == SF_REQ_GET_CONNID);
static_assert(static_cast<int>(isapi::SF_REQ_SET_CERTIFICATE_INFO) == SF_REQ_SET_CERTIFICATE_INFO);
static_assert(static_cast<int>(isapi::SF_REQ_GET_PROPERTY) == SF_REQ_GET_PROPERTY);
static_assert(static_cast<int>(isapi::SF_REQ_NORMALIZE_URL) == SF_REQ_NORMALIZE_URL);
static_assert(static_cast<int>(isapi::SF_REQ_DISABLE_NOTIFICATIONS) == SF_REQ_DISABLE_NOTIFICATIONS);

// Same size and the same offset for every field, in the same order.
#define PENTREL_SAME_FIELD(type, field)                                                    \
  static_assert(offsetof(isapi::type, field) == offsetof(::type, field), #type "::" #field); \
  static_assert(sizeof(isapi::type::field) == sizeof(::type::field), #type "::" #field)

static_assert(sizeof(isapi::HTTP_FILTER_CONTEXT) == sizeof(::HTTP_FILTER_CONTEXT));
static_assert(alignof(isapi::HTTP_FILTER_CONTEXT) == alignof(::HTTP_FILTER_CONTEXT));
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, cbSize);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, Revision);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, ServerContext);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, ulReserved);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, fIsSecurePort);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, pFilterContext);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, GetServerVariable);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, AddResponseHeaders);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, WriteClient);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, AllocMem);
PENTREL_SAME_FIELD(HTTP_FILTER_CONTEXT, ServerSupportFunction);

static_assert(sizeof(isapi::HTTP_FILTER_PREPROC_HEADERS) == sizeof(::HTTP_FILTER_PREPROC_HEADERS));
static_assert(alignof(isapi::HTTP_FILTER_PREPROC_HEADERS) == alignof(::HTTP_FILTER_PREPROC_HEADERS));
PENTREL_SAME_FIELD(HTTP_FILTER_PREPROC_HEADERS, GetHeader);
PENTREL_SAME_FIELD(HTTP_FILTER_PREPROC_HEADERS, SetHeader);
PENTREL_SAME_FIELD(HTTP_FILTER_PREPROC_HEADERS, AddHeader);
PENTREL_SAME_FIELD(HTTP_FILTER_PREPROC_HEADERS, HttpStatus);
PENTREL_SAME_FIELD(HTTP_FILTER_PREPROC_HEADERS, dwReserved);

static_assert(sizeof(isapi::HTTP_FILTER_VERSION) == sizeof(::HTTP_FILTER_VERSION));
static_assert(alignof(isapi::HTTP_FILTER_VERSION) == alignof(::HTTP_FILTER_VERSION));
PENTREL_SAME_FIELD(HTTP_FILTER_VERSION, dwServerFilterVersion);
PENTREL_SAME_FIELD(HTTP_FILTER_VERSION, dwFilterVersion);
PENTREL_SAME_FIELD(HTTP_FILTER_VERSION, lpszFilterDesc);
PENTREL_SAME_FIELD(HTTP_FILTER_VERSION, dwFlags);

#undef PENTREL_SAME_FIELD

// The exported entry points have the header's signatures: same result size, same parameter count.
template <typename F>
struct Signature;
template <typename R, typename... A>
struct Signature<R(A...)> {
  static constexpr std::size_t kArgs = sizeof...(A);
  static constexpr std::size_t kResult = sizeof(R);
};
template <typename R, typename... A>
struct Signature<R (*)(A...)> : Signature<R(A...)> {};
static_assert(Signature<isapi::PFN_GetFilterVersion>::kArgs == Signature<decltype(::GetFilterVersion)>::kArgs);
static_assert(Signature<isapi::PFN_GetFilterVersion>::kResult ==
              Signature<decltype(::GetFilterVersion)>::kResult);
static_assert(Signature<isapi::PFN_HttpFilterProc>::kArgs == Signature<decltype(::HttpFilterProc)>::kArgs);
static_assert(Signature<isapi::PFN_HttpFilterProc>::kResult ==
              Signature<decltype(::HttpFilterProc)>::kResult);

}  // namespace
