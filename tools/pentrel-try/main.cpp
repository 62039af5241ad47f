// pentrel-try: a web server in miniature for one request. Loads an ISAPI filter library, registers
// it, sends it one preprocessed-headers notification and shows what it did, then unloads it.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "FakeServer.h"
#include "Isapi.h"
#include <pentrel/platform/Library.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;

constexpr const char* kUsage =
    "Usage: pentrel-try [options] FILTER-LIBRARY URL\n"
    "\n"
    "Loads the ISAPI filter library (PENTREL.dll, PENTREL.so), calls its GetFilterVersion, sends it\n"
    "one request for URL (such as /index.htm) as the preprocessed-headers notification, prints the\n"
    "callbacks it made, its status, the URL it leaves and the response it wrote, and unloads it.\n"
    "\n"
    "Options:\n"
    "  --header 'NAME: VALUE'  add a request header (may be repeated)\n"
    "  --response FILE         write the response (header block and body) to FILE, byte for byte\n"
    "  --fail-get-header       GetHeader answers FALSE\n"
    "  --fail-set-header       SetHeader and AddHeader answer FALSE\n"
    "  --fail-add-headers      AddResponseHeaders answers FALSE\n"
    "  --fail-send-headers     ServerSupportFunction(SF_REQ_SEND_RESPONSE_HEADER) answers FALSE\n"
    "  --fail-write            WriteClient answers FALSE\n"
    "  -h, --help              show this text\n"
    "\n"
    "Exit status: 0 the request was sent, 1 GetFilterVersion answered FALSE, 2 bad arguments,\n"
    "3 the library cannot be loaded or lacks GetFilterVersion or HttpFilterProc.\n";

struct Options {
  std::string library;
  std::string url;
  std::string responseFile;
  std::vector<std::pair<std::string, std::string>> headers;
  pentrel::tools::Failures failures;
};

int Usage(const std::string& problem) {
  std::cerr << "pentrel-try: " << problem << "\n\n" << kUsage;
  return kExitUsage;
}

// Empty on success, else what is wrong with the arguments.
std::string Parse(int argc, char** argv, Options& o, bool& help) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&](std::string& out) -> bool {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      help = true;
    } else if (a == "--fail-get-header") {
      o.failures.getHeader = true;
    } else if (a == "--fail-set-header") {
      o.failures.setHeader = true;
    } else if (a == "--fail-add-headers") {
      o.failures.addHeaders = true;
    } else if (a == "--fail-send-headers") {
      o.failures.sendHeaders = true;
    } else if (a == "--fail-write") {
      o.failures.write = true;
    } else if (a == "--response") {
      if (!value(o.responseFile)) return "--response needs a file name";
    } else if (a == "--header") {
      std::string h;
      if (!value(h)) return "--header needs 'NAME: VALUE'";
      const auto colon = h.find(':');
      if (colon == std::string::npos || colon == 0) return "--header needs 'NAME: VALUE', not '" + h + "'";
      std::string v = h.substr(colon + 1);
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.erase(0, 1);
      o.headers.emplace_back(h.substr(0, colon), v);
    } else if (a == "--") {
      for (++i; i < argc; ++i) positional.emplace_back(argv[i]);
    } else if (a.size() > 1 && a.front() == '-') {
      return "unknown option " + std::string(a);
    } else {
      positional.emplace_back(a);
    }
  }
  if (help) return {};
  if (positional.size() != 2) return "expected FILTER-LIBRARY and URL";
  o.library = positional[0];
  o.url = positional[1];
  if (o.url.empty()) return "the URL is empty";
  return {};
}

std::string Hex(isapi::DWORD v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[v % 16]);
    v /= 16;
  } while (v != 0);
  return "0x" + out;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  if (const std::string problem = Parse(argc, argv, options, help); !problem.empty())
    return Usage(problem);
  if (help) {
    std::cout << kUsage;
    return kExitOk;
  }

  pentrel::platform::Library library(options.library);
  if (!library) {
    std::cerr << "pentrel-try: cannot load " << options.library << ": " << library.Error() << '\n';
    return kExitLoad;
  }
  const auto getFilterVersion =
      reinterpret_cast<isapi::PFN_GetFilterVersion>(library.Find("GetFilterVersion"));
  const auto httpFilterProc =
      reinterpret_cast<isapi::PFN_HttpFilterProc>(library.Find("HttpFilterProc"));
  if (getFilterVersion == nullptr || httpFilterProc == nullptr) {
    std::cerr << "pentrel-try: " << options.library
              << " does not export GetFilterVersion and HttpFilterProc\n";
    return kExitLoad;
  }

  isapi::HTTP_FILTER_VERSION version{};
  version.dwServerFilterVersion = isapi::HTTP_FILTER_REVISION;
  const isapi::BOOL registered = getFilterVersion(&version);
  version.lpszFilterDesc[isapi::SF_MAX_FILTER_DESC_LEN - 1] = '\0';
  std::cout << "GetFilterVersion: " << (registered ? "TRUE" : "FALSE") << ", flags "
            << Hex(version.dwFlags) << ", filter version " << version.dwFilterVersion << ", \""
            << version.lpszFilterDesc << "\"\n";
  if (!registered) {
    std::cout << "the filter refused to load; a web server would not call it\n";
    return kExitRefused;
  }

  pentrel::tools::FakeRequest request(options.url, options.headers, options.failures);
  if ((version.dwFlags & isapi::SF_NOTIFY_PREPROC_HEADERS) == 0) {
    std::cout << "the filter does not ask for SF_NOTIFY_PREPROC_HEADERS; the request passes\n";
  } else {
    const isapi::DWORD status =
        httpFilterProc(request.Context(), isapi::SF_NOTIFY_PREPROC_HEADERS, request.Headers());
    for (const std::string& call : request.Calls()) std::cout << "call: " << call << '\n';
    std::cout << "status: " << pentrel::tools::StatusName(status) << '\n';
  }
  std::cout << "url: " << request.Url()
            << (request.Url() == request.OriginalUrl() ? " (unchanged)" : " (rewritten)") << '\n';
  if (request.WroteAnything()) {
    std::cout << "response: " << request.Body().size() << " body bytes\n"
              << request.ResponseHead() << request.Body();
    if (!request.Body().empty() && request.Body().back() != '\n') std::cout << '\n';
  } else {
    std::cout << "response: none written by the filter\n";
  }
  std::cout.flush();

  if (!options.responseFile.empty()) {
    std::ofstream out(options.responseFile, std::ios::binary | std::ios::trunc);
    out << request.ResponseHead() << request.Body();
    if (!out.flush()) {
      std::cerr << "pentrel-try: cannot write " << options.responseFile << '\n';
      return kExitUsage;
    }
  }
  // Unloading runs the filter's exit handlers, as when the server stops.
  library.Unload();
  return kExitOk;
}
