#include "RequestBridge.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "Apache.h"
#include "host/HostContract.h"

namespace pentrel::apache {

namespace {

constexpr isapi::BOOL Bool(bool value) { return value ? isapi::TRUE : isapi::FALSE; }

// A missing value (no such header or variable) fails like a host that has none.
isapi::BOOL CopyOut(const char* value, void* buffer, isapi::DWORD* size) {
  return value != nullptr ? pentrel::host::CopyOutText(value, buffer, size) : isapi::FALSE;
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool IsTokenChar(unsigned char c) {
  return std::isalnum(c) != 0 || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return IsTokenChar(static_cast<unsigned char>(c)); });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsFieldValue(std::string_view value) {
  return std::none_of(value.begin(), value.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return (c < 0x20 && c != '\t') || c == 0x7f;
  });
}

// Calls apply(name, value) for each "Name: value" line of text (CR LF or LF separated, empty
// lines skipped); stops with false at the first malformed line.
template <typename Apply>
bool ForEachHeaderLine(std::string_view text, Apply apply) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (!IsToken(name) || !IsFieldValue(value)) return false;
    if (!apply(name, value)) return false;
  }
  return true;
}

// "Host:" names the request header Host; the colon is optional here.
const char* HeaderName(apr_pool_t* pool, const char* name) {
  std::string_view text(name);
  if (!text.empty() && text.back() == ':') text.remove_suffix(1);
  return apr_pstrmemdup(pool, text.data(), text.size());
}

// The request-line URL as the client sent it: path and query.
const char* UrlAsSent(request_rec* r) {
  if (r->parsed_uri.scheme == nullptr || r->parsed_uri.path == nullptr) return r->unparsed_uri;
  // An absolute-form target ("http://host/path"): the filter sees what a origin-form one holds.
  return r->parsed_uri.query != nullptr
             ? apr_pstrcat(r->pool, r->parsed_uri.path, "?", r->parsed_uri.query, nullptr)
             : r->parsed_uri.path;
}

const char* ServerVariable(request_rec* r, const char* name) {
  std::string_view n(name);
  if (n == "URL") return r->uri;
  if (n == "QUERY_STRING") return r->args != nullptr ? r->args : "";
  if (n == "REQUEST_METHOD") return r->method;
  if (n == "SERVER_PROTOCOL") return r->protocol;
  if (n == "SERVER_NAME") return ap_get_server_name(r);
  if (n == "SERVER_PORT") return apr_psprintf(r->pool, "%u", ap_get_server_port(r));
  if (n == "REMOTE_ADDR") return r->useragent_ip;
  if (n == "HTTPS") return ap_ssl_conn_is_ssl(r->connection) ? "on" : "off";
  if (n.starts_with("HTTP_") && n.size() > 5) {
    char* header = apr_pstrmemdup(r->pool, name + 5, n.size() - 5);
    for (char* c = header; *c != '\0'; ++c)
      if (*c == '_') *c = '-';
    return apr_table_get(r->headers_in, header);
  }
  return nullptr;
}

}  // namespace

RequestBridge::RequestBridge(request_rec* r, void* pFilterContext) : m_r(r), m_urlStatus(OK) {
  m_context.cbSize = sizeof(m_context);
  m_context.Revision = isapi::HTTP_FILTER_REVISION;
  m_context.ServerContext = this;
  m_context.fIsSecurePort = Bool(ap_ssl_conn_is_ssl(r->connection) != 0);
  m_context.pFilterContext = pFilterContext;
  m_context.GetServerVariable = &GetServerVariable;
  m_context.AddResponseHeaders = &AddResponseHeaders;
  m_context.WriteClient = &WriteClient;
  m_context.AllocMem = &AllocMem;
  m_context.ServerSupportFunction = &ServerSupportFunction;
  m_preproc.GetHeader = &GetHeader;
  m_preproc.SetHeader = &SetHeader;
  m_preproc.AddHeader = &AddHeader;
}

RequestBridge& RequestBridge::Of(isapi::HTTP_FILTER_CONTEXT* pfc) {
  return *static_cast<RequestBridge*>(pfc->ServerContext);
}

int RequestBridge::Finish(isapi::DWORD status) {
  switch (status) {
    case isapi::SF_STATUS_REQ_FINISHED:
      m_r->connection->keepalive = AP_CONN_CLOSE;
      return DONE;
    case isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN:
      return DONE;
    case isapi::SF_STATUS_REQ_ERROR:
      if (!m_bodyWritten) {
        ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, m_r,
                      PTLOGNO(00010) "ISAPI filter failed the request for %s", m_r->unparsed_uri);
        return HTTP_INTERNAL_SERVER_ERROR;
      }
      // Part of the filter's answer may be out already: end it there.
      m_r->connection->keepalive = AP_CONN_CLOSE;
      return DONE;
    default:
      // A filter that has written an answer owns the response, whatever it returns.
      if (m_bodyWritten || m_headerSent) return DONE;
      if (m_urlStatus != OK) return m_urlStatus;
      return DECLINED;
  }
}

bool RequestBridge::SetUrl(const char* url) {
  // Only an origin-form path: anything else would also change the request's host.
  if (url == nullptr || url[0] != '/') return false;
  request_rec* r = m_r;
  const int statusBefore = r->status;
  ap_parse_uri(r, url);
  if (r->status != statusBefore || r->parsed_uri.path == nullptr) {
    r->status = statusBefore;
    m_urlStatus = HTTP_BAD_REQUEST;
    return true;
  }
  // The same normalisation the core gave the client's own URL before mapping: a rewritten URL
  // must not escape the document root or smuggle an encoded slash past AllowEncodedSlashes.
  const auto* core = static_cast<core_dir_config*>(ap_get_core_module_config(r->per_dir_config));
  const auto* server =
      static_cast<core_server_config*>(ap_get_core_module_config(r->server->module_config));
  unsigned int flags = AP_NORMALIZE_NOT_ABOVE_ROOT;
  if (server->merge_slashes != AP_CORE_CONFIG_OFF) flags |= AP_NORMALIZE_MERGE_SLASHES;
  if (!ap_normalize_path(r->parsed_uri.path, flags | AP_NORMALIZE_DECODE_UNRESERVED)) {
    m_urlStatus = HTTP_BAD_REQUEST;
  } else {
    unsigned int unescape = AP_UNESCAPE_URL_KEEP_UNRESERVED;
    if (!core->allow_encoded_slashes)
      unescape |= AP_UNESCAPE_URL_FORBID_SLASHES;
    else if (!core->decode_encoded_slashes)
      unescape |= AP_UNESCAPE_URL_KEEP_SLASHES;
    const int unescaped = ap_unescape_url_ex(r->parsed_uri.path, unescape);
    if (unescaped != OK)
      m_urlStatus = unescaped;
    else if ((flags & AP_NORMALIZE_MERGE_SLASHES) != 0 &&
             !ap_normalize_path(r->parsed_uri.path, flags))
      m_urlStatus = HTTP_BAD_REQUEST;
    else
      m_urlStatus = OK;
  }
  r->uri = r->parsed_uri.path;
  if (m_urlStatus != OK)
    ap_log_rerror(APLOG_MARK, APLOG_INFO, 0, r,
                  PTLOGNO(00011) "URL set by the ISAPI filter is not valid: %s", url);
  return true;
}

bool RequestBridge::AddHeaderLines(const char* text) {
  if (text == nullptr) return true;
  // Checked whole before anything is added, so a bad line leaves the response untouched.
  if (!ForEachHeaderLine(text, [](std::string_view, std::string_view) { return true; }))
    return false;
  request_rec* r = m_r;
  return ForEachHeaderLine(text, [r](std::string_view name, std::string_view value) {
    char* v = apr_pstrmemdup(r->pool, value.data(), value.size());
    if (name.size() == 12 && strncasecmp(name.data(), "Content-Type", 12) == 0)
      ap_set_content_type(r, v);
    else
      apr_table_addn(r->headers_out, apr_pstrmemdup(r->pool, name.data(), name.size()), v);
    return true;
  });
}

isapi::BOOL RequestBridge::GetServerVariable(isapi::HTTP_FILTER_CONTEXT* pfc, char* name,
                                             void* buffer, isapi::DWORD* size) {
  if (name == nullptr) return isapi::FALSE;
  return CopyOut(ServerVariable(Of(pfc).m_r, name), buffer, size);
}

isapi::BOOL RequestBridge::AddResponseHeaders(isapi::HTTP_FILTER_CONTEXT* pfc, char* headers,
                                              isapi::DWORD) {
  RequestBridge& self = Of(pfc);
  if (self.m_headerSent || headers == nullptr) return isapi::FALSE;
  return Bool(self.AddHeaderLines(headers));
}

isapi::BOOL RequestBridge::WriteClient(isapi::HTTP_FILTER_CONTEXT* pfc, void* buffer,
                                       isapi::DWORD* bytes, isapi::DWORD) {
  RequestBridge& self = Of(pfc);
  if (bytes == nullptr || (buffer == nullptr && *bytes != 0)) return isapi::FALSE;
  // Written before any response header: the host's default header goes first, as it would for a
  // body that the header call announced.
  self.m_headerSent = true;
  self.m_bodyWritten = true;
  const char* data = static_cast<const char*>(buffer);
  isapi::DWORD left = *bytes;
  while (left > 0) {
    const int piece = static_cast<int>(std::min<isapi::DWORD>(left, 1u << 20));
    if (ap_rwrite(data, piece, self.m_r) < 0) return isapi::FALSE;
    data += piece;
    left -= static_cast<isapi::DWORD>(piece);
  }
  return isapi::TRUE;
}

void* RequestBridge::AllocMem(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::DWORD size, isapi::DWORD) {
  return apr_pcalloc(Of(pfc).m_r->pool, size != 0 ? size : 1);
}

isapi::BOOL RequestBridge::ServerSupportFunction(isapi::HTTP_FILTER_CONTEXT* pfc,
                                                 isapi::SF_REQ_TYPE request, void* data,
                                                 isapi::ULONG_PTR ul1, isapi::ULONG_PTR) {
  RequestBridge& self = Of(pfc);
  request_rec* r = self.m_r;
  switch (request) {
    case isapi::SF_REQ_SEND_RESPONSE_HEADER: {
      if (self.m_headerSent) return isapi::FALSE;
      // data: an optional status line such as "302 Moved"; ul1: optional further header lines.
      int status = HTTP_OK;
      const char* statusText = static_cast<const char*>(data);
      if (statusText != nullptr && *statusText != '\0') {
        if (std::strlen(statusText) < 3 || !IsDigit(statusText[0]) || !IsDigit(statusText[1]) ||
            !IsDigit(statusText[2]) ||
            (statusText[3] != '\0' && statusText[3] != ' ') || !IsFieldValue(statusText))
          return isapi::FALSE;
        status = atoi(statusText);
        if (status < 100 || status > 599) return isapi::FALSE;
      }
      if (!self.AddHeaderLines(reinterpret_cast<const char*>(ul1))) return isapi::FALSE;
      r->status = status;
      r->status_line = statusText != nullptr && std::strlen(statusText) > 4
                           ? apr_pstrdup(r->pool, statusText)
                           : nullptr;
      self.m_headerSent = true;
      return isapi::TRUE;
    }
    case isapi::SF_REQ_DISABLE_NOTIFICATIONS:
      // One notification per request is all this host delivers: nothing left to disable.
      return isapi::TRUE;
    default:
      return isapi::FALSE;
  }
}

isapi::BOOL RequestBridge::GetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, char* name, void* buffer,
                                     isapi::DWORD* size) {
  if (name == nullptr) return isapi::FALSE;
  request_rec* r = Of(pfc).m_r;
  if (strcasecmp(name, "url") == 0) return CopyOut(UrlAsSent(r), buffer, size);
  if (strcasecmp(name, "method") == 0) return CopyOut(r->method, buffer, size);
  if (strcasecmp(name, "version") == 0) return CopyOut(r->protocol, buffer, size);
  return CopyOut(apr_table_get(r->headers_in, HeaderName(r->pool, name)), buffer, size);
}

isapi::BOOL RequestBridge::SetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, char* name, char* value) {
  if (name == nullptr || value == nullptr) return isapi::FALSE;
  RequestBridge& self = Of(pfc);
  if (strcasecmp(name, "url") == 0) return Bool(self.SetUrl(value));
  request_rec* r = self.m_r;
  const char* header = HeaderName(r->pool, name);
  if (!IsToken(header) || !IsFieldValue(value)) return isapi::FALSE;
  // As on IIS, an empty value removes the header.
  if (*value == '\0')
    apr_table_unset(r->headers_in, header);
  else
    apr_table_set(r->headers_in, header, value);
  return isapi::TRUE;
}

isapi::BOOL RequestBridge::AddHeader(isapi::HTTP_FILTER_CONTEXT* pfc, char* name, char* value) {
  if (name == nullptr || value == nullptr) return isapi::FALSE;
  request_rec* r = Of(pfc).m_r;
  const char* header = HeaderName(r->pool, name);
  if (strcasecmp(header, "url") == 0 || !IsToken(header) || !IsFieldValue(value))
    return isapi::FALSE;
  apr_table_add(r->headers_in, header, value);
  return isapi::TRUE;
}

}  // namespace pentrel::apache
