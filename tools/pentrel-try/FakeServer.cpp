#include "FakeServer.h"

#include <cstring>
#include <sstream>

#include "HostContract.h"

namespace pentrel::tools {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Header names come as "Host:" (with the colon, as IIS takes them) or without it.
std::string HeaderKey(const char* name) {
  std::string key = Lower(name != nullptr ? name : "");
  if (!key.empty() && key.back() == ':') key.pop_back();
  return key;
}

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default: out += *c;
    }
  }
  return out + "\"";
}

// Headers in a block end with CR LF; IIS accepts the filter's text either way.
std::string WithLineEnd(std::string text) {
  if (!text.empty() && !text.ends_with("\r\n")) {
    if (text.back() == '\n') text.pop_back();
    text += "\r\n";
  }
  return text;
}

}  // namespace

FakeRequest::FakeRequest(std::string url, std::vector<std::pair<std::string, std::string>> headers,
                         Failures failures)
    : failures_(failures), originalUrl_(url), url_(std::move(url)), headers_(std::move(headers)) {
  context_.cbSize = sizeof context_;
  context_.Revision = isapi::HTTP_FILTER_REVISION;
  context_.ServerContext = this;
  context_.fIsSecurePort = isapi::FALSE;
  context_.GetServerVariable = &GetServerVariable;
  context_.AddResponseHeaders = &AddResponseHeaders;
  context_.WriteClient = &WriteClient;
  context_.AllocMem = &AllocMem;
  context_.ServerSupportFunction = &ServerSupportFunction;
  preproc_.GetHeader = &GetHeader;
  preproc_.SetHeader = &SetHeader;
  preproc_.AddHeader = &AddHeader;
  for (auto& [name, value] : headers_) name = HeaderKey(name.c_str());
}

FakeRequest& FakeRequest::From(isapi::HTTP_FILTER_CONTEXT* pfc) {
  return *static_cast<FakeRequest*>(pfc->ServerContext);
}

void FakeRequest::Record(std::string call, isapi::BOOL result) {
  calls_.push_back(std::move(call) + " -> " + (result ? "TRUE" : "FALSE"));
}

const std::string* FakeRequest::FindHeader(const std::string& key) const {
  for (const auto& [name, value] : headers_)
    if (name == key) return &value;
  return nullptr;
}

std::string FakeRequest::ResponseHead() const {
  if (!headersSent_) return {};
  return "HTTP/1.1 " + status_ + "\r\n" + sentHeaders_ + "\r\n";
}

isapi::BOOL PENTREL_WINAPI FakeRequest::GetServerVariable(isapi::HTTP_FILTER_CONTEXT* pfc,
                                                         isapi::LPSTR name, isapi::LPVOID,
                                                         isapi::LPDWORD) {
  FakeRequest& r = From(pfc);
  r.Record("GetServerVariable(" + Quoted(name) + ") (not offered)", isapi::FALSE);
  return isapi::FALSE;
}

isapi::BOOL PENTREL_WINAPI FakeRequest::AddResponseHeaders(isapi::HTTP_FILTER_CONTEXT* pfc,
                                                          isapi::LPSTR headers, isapi::DWORD) {
  FakeRequest& r = From(pfc);
  const isapi::BOOL ok = r.failures_.addHeaders || headers == nullptr ? isapi::FALSE : isapi::TRUE;
  if (ok) r.extraResponseHeaders_ += WithLineEnd(headers);
  r.Record("AddResponseHeaders(" + Quoted(headers) + ")", ok);
  return ok;
}

isapi::BOOL PENTREL_WINAPI FakeRequest::WriteClient(isapi::HTTP_FILTER_CONTEXT* pfc,
                                                   isapi::LPVOID buffer, isapi::LPDWORD bytes,
                                                   isapi::DWORD) {
  FakeRequest& r = From(pfc);
  const isapi::DWORD n = bytes != nullptr ? *bytes : 0;
  const isapi::BOOL ok =
      r.failures_.write || bytes == nullptr || (buffer == nullptr && n != 0) ? isapi::FALSE : isapi::TRUE;
  if (ok) r.body_.append(static_cast<const char*>(buffer), n);
  r.Record("WriteClient(" + std::to_string(n) + " bytes)", ok);
  return ok;
}

void* PENTREL_WINAPI FakeRequest::AllocMem(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::DWORD size,
                                          isapi::DWORD) {
  FakeRequest& r = From(pfc);
  // Freed with the request, as the server frees it when the connection ends.
  r.allocations_.push_back(std::make_unique<char[]>(size == 0 ? 1 : size));
  r.calls_.push_back("AllocMem(" + std::to_string(size) + ")");
  return r.allocations_.back().get();
}

isapi::BOOL PENTREL_WINAPI FakeRequest::ServerSupportFunction(isapi::HTTP_FILTER_CONTEXT* pfc,
                                                             isapi::SF_REQ_TYPE request,
                                                             isapi::PVOID data, isapi::ULONG_PTR ul1,
                                                             isapi::ULONG_PTR) {
  FakeRequest& r = From(pfc);
  if (request != isapi::SF_REQ_SEND_RESPONSE_HEADER) {
    r.Record("ServerSupportFunction(" + std::to_string(static_cast<int>(request)) + ") (not offered)",
             isapi::FALSE);
    return isapi::FALSE;
  }
  // pData: the status text ("200 OK" when null); ul1: further headers.
  const char* status = static_cast<const char*>(data);
  const char* more = reinterpret_cast<const char*>(ul1);
  const isapi::BOOL ok = r.failures_.sendHeaders || r.headersSent_ ? isapi::FALSE : isapi::TRUE;
  if (ok) {
    if (status != nullptr && *status != '\0') r.status_ = status;
    r.sentHeaders_ = r.extraResponseHeaders_;
    if (more != nullptr) r.sentHeaders_ += WithLineEnd(more);
    r.headersSent_ = true;
  }
  r.Record("ServerSupportFunction(SF_REQ_SEND_RESPONSE_HEADER, " + Quoted(status) + ", " +
               Quoted(more) + ")",
           ok);
  return ok;
}

isapi::BOOL PENTREL_WINAPI FakeRequest::GetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR name,
                                                 isapi::LPVOID buffer, isapi::LPDWORD size) {
  FakeRequest& r = From(pfc);
  const std::string key = HeaderKey(name);
  const std::string capacity = size != nullptr ? std::to_string(*size) : "null";
  const std::string call = "GetHeader(" + Quoted(name) + ", " + capacity + " bytes)";
  if (r.failures_.getHeader || size == nullptr) {
    r.Record(call, isapi::FALSE);
    return isapi::FALSE;
  }
  std::string value;
  if (key == "url") {
    value = r.url_;
  } else if (key == "method") {
    value = "GET";
  } else if (key == "version") {
    value = "HTTP/1.1";
  } else if (const std::string* found = r.FindHeader(key)) {
    value = *found;
  } else {
    r.Record(call + " (no such header)", isapi::FALSE);
    return isapi::FALSE;
  }
  if (pentrel::host::CopyOutText(value, buffer, size) == isapi::FALSE) {
    r.Record(call + " (needs " + std::to_string(*size) + ")", isapi::FALSE);
    return isapi::FALSE;
  }
  r.Record(call + " = " + Quoted(value.c_str()), isapi::TRUE);
  return isapi::TRUE;
}

isapi::BOOL PENTREL_WINAPI FakeRequest::SetHeader(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR name,
                                                 isapi::LPSTR value) {
  FakeRequest& r = From(pfc);
  const std::string call = "SetHeader(" + Quoted(name) + ", " + Quoted(value) + ")";
  if (r.failures_.setHeader || name == nullptr || value == nullptr) {
    r.Record(call, isapi::FALSE);
    return isapi::FALSE;
  }
  const std::string key = HeaderKey(name);
  if (key == "url") {
    r.url_ = value;
  } else {
    std::erase_if(r.headers_, [&](const auto& h) { return h.first == key; });
    if (*value != '\0') r.headers_.emplace_back(key, value);  // an empty value removes the header
  }
  r.Record(call, isapi::TRUE);
  return isapi::TRUE;
}

isapi::BOOL PENTREL_WINAPI FakeRequest::AddHeader(isapi::HTTP_FILTER_CONTEXT* pfc, isapi::LPSTR name,
                                                 isapi::LPSTR value) {
  FakeRequest& r = From(pfc);
  const std::string call = "AddHeader(" + Quoted(name) + ", " + Quoted(value) + ")";
  if (r.failures_.setHeader || name == nullptr || value == nullptr) {
    r.Record(call, isapi::FALSE);
    return isapi::FALSE;
  }
  r.headers_.emplace_back(HeaderKey(name), value);
  r.Record(call, isapi::TRUE);
  return isapi::TRUE;
}

std::string StatusName(isapi::DWORD status) {
  const char* name = nullptr;
  switch (status) {
    case isapi::SF_STATUS_REQ_FINISHED: name = "SF_STATUS_REQ_FINISHED"; break;
    case isapi::SF_STATUS_REQ_FINISHED_KEEP_CONN: name = "SF_STATUS_REQ_FINISHED_KEEP_CONN"; break;
    case isapi::SF_STATUS_REQ_NEXT_NOTIFICATION: name = "SF_STATUS_REQ_NEXT_NOTIFICATION"; break;
    case isapi::SF_STATUS_REQ_HANDLED_NOTIFICATION:
      name = "SF_STATUS_REQ_HANDLED_NOTIFICATION";
      break;
    case isapi::SF_STATUS_REQ_ERROR: name = "SF_STATUS_REQ_ERROR"; break;
    case isapi::SF_STATUS_REQ_READ_NEXT: name = "SF_STATUS_REQ_READ_NEXT"; break;
    default: name = "unknown status";
  }
  std::ostringstream out;
  out << name << " (0x" << std::hex << status << ")";
  return out.str();
}

}  // namespace pentrel::tools
