// The ISAPI filter interface, declared from its documented layout: field order and types as on
// Windows (DWORD is 32-bit unsigned, BOOL a 32-bit int). The Windows build checks every structure
// against the toolchain's <httpfilt.h>.
#pragma once

#include <cstdint>

#include <pentrel/platform/Abi.h>

namespace isapi {

using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using LPDWORD = DWORD*;
using LPSTR = char*;
using LPVOID = void*;
using PVOID = void*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr DWORD HTTP_FILTER_REVISION = 0x00020000;
inline constexpr DWORD SF_MAX_FILTER_DESC_LEN = 256 + 1;

// Notification types and flags.
inline constexpr DWORD SF_NOTIFY_SECURE_PORT = 0x00000001;
inline constexpr DWORD SF_NOTIFY_NONSECURE_PORT = 0x00000002;
inline constexpr DWORD SF_NOTIFY_READ_RAW_DATA = 0x00008000;
inline constexpr DWORD SF_NOTIFY_PREPROC_HEADERS = 0x00004000;
inline constexpr DWORD SF_NOTIFY_AUTHENTICATION = 0x00002000;
inline constexpr DWORD SF_NOTIFY_URL_MAP = 0x00001000;
inline constexpr DWORD SF_NOTIFY_ACCESS_DENIED = 0x00000800;
inline constexpr DWORD SF_NOTIFY_SEND_RESPONSE = 0x00000040;
inline constexpr DWORD SF_NOTIFY_SEND_RAW_DATA = 0x00000400;
inline constexpr DWORD SF_NOTIFY_LOG = 0x00000200;
inline constexpr DWORD SF_NOTIFY_END_OF_REQUEST = 0x00000080;
inline constexpr DWORD SF_NOTIFY_END_OF_NET_SESSION = 0x00000100;
inline constexpr DWORD SF_NOTIFY_ORDER_HIGH = 0x00080000;
inline constexpr DWORD SF_NOTIFY_ORDER_MEDIUM = 0x00040000;
inline constexpr DWORD SF_NOTIFY_ORDER_LOW = 0x00020000;
inline constexpr DWORD SF_NOTIFY_ORDER_DEFAULT = SF_NOTIFY_ORDER_LOW;
inline constexpr DWORD SF_NOTIFY_ORDER_MASK =
    SF_NOTIFY_ORDER_HIGH | SF_NOTIFY_ORDER_MEDIUM | SF_NOTIFY_ORDER_LOW;

// Status codes a notification answers with.
inline constexpr DWORD SF_STATUS_REQ_FINISHED = 0x8000000;
inline constexpr DWORD SF_STATUS_REQ_FINISHED_KEEP_CONN = 0x8000001;
inline constexpr DWORD SF_STATUS_REQ_NEXT_NOTIFICATION = 0x8000002;
inline constexpr DWORD SF_STATUS_REQ_HANDLED_NOTIFICATION = 0x8000003;
inline constexpr DWORD SF_STATUS_REQ_ERROR = 0x8000004;
inline constexpr DWORD SF_STATUS_REQ_READ_NEXT = 0x8000005;

enum SF_REQ_TYPE {
  SF_REQ_SEND_RESPONSE_HEADER,
  SF_REQ_ADD_HEADERS_ON_DENIAL,
  SF_REQ_SET_NEXT_READ_SIZE,
  SF_REQ_SET_PROXY_INFO,
  SF_REQ_GET_CONNID,
  SF_REQ_SET_CERTIFICATE_INFO,
  SF_REQ_GET_PROPERTY,
  SF_REQ_NORMALIZE_URL,
  SF_REQ_DISABLE_NOTIFICATIONS,
};

struct HTTP_FILTER_CONTEXT {
  DWORD cbSize;
  DWORD Revision;
  PVOID ServerContext;
  DWORD ulReserved;
  BOOL fIsSecurePort;
  PVOID pFilterContext;
  BOOL(PENTREL_WINAPI* GetServerVariable)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszVariableName,
                                          LPVOID lpvBuffer, LPDWORD lpdwSize);
  BOOL(PENTREL_WINAPI* AddResponseHeaders)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszHeaders,
                                           DWORD dwReserved);
  BOOL(PENTREL_WINAPI* WriteClient)(HTTP_FILTER_CONTEXT* pfc, LPVOID Buffer, LPDWORD lpdwBytes,
                                    DWORD dwReserved);
  void*(PENTREL_WINAPI* AllocMem)(HTTP_FILTER_CONTEXT* pfc, DWORD cbSize, DWORD dwReserved);
  BOOL(PENTREL_WINAPI* ServerSupportFunction)(HTTP_FILTER_CONTEXT* pfc, SF_REQ_TYPE sfReq,
                                              PVOID pData, ULONG_PTR ul1, ULONG_PTR ul2);
};
using PHTTP_FILTER_CONTEXT = HTTP_FILTER_CONTEXT*;

struct HTTP_FILTER_PREPROC_HEADERS {
  BOOL(PENTREL_WINAPI* GetHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPVOID lpvBuffer,
                                  LPDWORD lpdwSize);
  BOOL(PENTREL_WINAPI* SetHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPSTR lpszValue);
  BOOL(PENTREL_WINAPI* AddHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPSTR lpszValue);
  DWORD HttpStatus;
  DWORD dwReserved;
};
using PHTTP_FILTER_PREPROC_HEADERS = HTTP_FILTER_PREPROC_HEADERS*;

struct HTTP_FILTER_VERSION {
  DWORD dwServerFilterVersion;
  DWORD dwFilterVersion;
  char lpszFilterDesc[SF_MAX_FILTER_DESC_LEN];
  DWORD dwFlags;
};
using PHTTP_FILTER_VERSION = HTTP_FILTER_VERSION*;

// The two functions a filter library exports.
using PFN_GetFilterVersion = BOOL(PENTREL_WINAPI*)(HTTP_FILTER_VERSION* pVer);
using PFN_HttpFilterProc = DWORD(PENTREL_WINAPI*)(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType,
                                                  LPVOID pvNotification);

}  // namespace isapi
