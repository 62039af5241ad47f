// mod_isapi_filter: hosts one ISAPI filter library in Apache httpd 2.4 through the ISAPI filter
// interface alone. Each child process loads the library; every main request gets the filter's
// SF_NOTIFY_PREPROC_HEADERS before URL mapping, so a URL it rewrites is mapped as if the client had
// sent it, and an answer it makes ends the request there.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "Apache.h"
#include "FilterLibrary.h"
#include "RequestBridge.h"

using pentrel::apache::FilterLibrary;
using pentrel::apache::RequestBridge;

namespace {

struct ServerConfig {
  const char* filterPath = nullptr;
};

// The filter of this child process; set once in child_init, before any request thread runs, and
// only read afterwards.
std::unique_ptr<FilterLibrary> g_filter;

// Loading runs the filter's own start-up, which may wait on the UPS service for a while.
constexpr auto kProbeTimeout = std::chrono::seconds(30);

ServerConfig* ConfigOf(server_rec* s) {
  return static_cast<ServerConfig*>(ap_get_module_config(s->module_config, &isapi_filter_module));
}

void* CreateServerConfig(apr_pool_t* pool, server_rec*) {
  void* memory = apr_pcalloc(pool, sizeof(ServerConfig));
  return new (memory) ServerConfig();
}

const char* SetIsapiFilter(cmd_parms* cmd, void*, const char* path) {
  if (const char* error = ap_check_cmd_context(cmd, GLOBAL_ONLY)) return error;
  ServerConfig* config = ConfigOf(cmd->server);
  if (config->filterPath != nullptr) return "IsapiFilter: only one filter library can be loaded";
  config->filterPath = ap_server_root_relative(cmd->pool, path);
  if (config->filterPath == nullptr)
    return apr_pstrcat(cmd->pool, "IsapiFilter: invalid path ", path, nullptr);
  return nullptr;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// In the probe process: become the user the children will run as, so that the filter's start-up
// reads and creates its files with the children's rights.
std::string BecomeChildUser() {
  if (geteuid() != 0 || ap_unixd_config.user_id == 0) return {};
  const gid_t group = ap_unixd_config.group_id;
  if (setgid(group) != 0) return std::string("setgid: ") + std::strerror(errno);
  if (initgroups(ap_unixd_config.user_name, group) != 0 && setgroups(1, &group) != 0)
    return std::string("setgroups: ") + std::strerror(errno);
  if (setuid(ap_unixd_config.user_id) != 0) return std::string("setuid: ") + std::strerror(errno);
  return {};
}

[[noreturn]] void RunProbe(const char* path, int out) {
  std::string report;
  const std::string privileges = BecomeChildUser();
  if (!privileges.empty()) {
    report = "E" + std::string("cannot switch to the server's user to load ") + path + ": " +
             privileges;
  } else {
    std::string error;
    auto filter = FilterLibrary::Load(path, error);
    if (filter)
      report = "O" + std::to_string(filter->Flags()) + " " + filter->Description();
    else
      report = "E" + error;
    filter.reset();  // unloads now, so the filter's exit handlers run in this process too
  }
  WriteAll(out, report);
  _exit(0);
}

// Loads the filter once in a throw-away process and reports what went wrong, or an empty text.
// The server's own process stays free of the filter's start-up work (UPS connection, files).
std::string ProbeFilter(server_rec* s, const char* path) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return std::string("cannot check the ISAPI filter: pipe: ") + std::strerror(errno);
  const pid_t pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(fds[0]);
    close(fds[1]);
    return std::string("cannot check the ISAPI filter: fork: ") + std::strerror(error);
  }
  if (pid == 0) {
    close(fds[0]);
    RunProbe(path, fds[1]);
  }
  close(fds[1]);

  std::string report;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[512];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (report.size() < 4096) report.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
  }

  if (timedOut)
    return std::string("ISAPI filter ") + path + " did not finish loading within " +
           std::to_string(kProbeTimeout.count()) + " s";
  if (WIFSIGNALED(waitStatus))
    return std::string("ISAPI filter ") + path + " crashed while loading (signal " +
           std::to_string(WTERMSIG(waitStatus)) + ")";
  if (report.empty() || (report[0] != 'O' && report[0] != 'E'))
    return std::string("ISAPI filter ") + path + " ended its loading without a report";
  if (report[0] == 'E') return report.substr(1);

  const unsigned long flags = std::strtoul(report.c_str() + 1, nullptr, 10);
  const std::size_t blank = report.find(' ');
  const std::string description = blank == std::string::npos ? "" : report.substr(blank + 1);
  ap_log_error(APLOG_MARK, APLOG_INFO, 0, s,
               PTLOGNO(00002) "ISAPI filter %s (\"%s\") registered, notification flags 0x%lx",
               path, description.c_str(), flags);
  if ((flags & isapi::SF_NOTIFY_PREPROC_HEADERS) == 0)
    ap_log_error(APLOG_MARK, APLOG_WARNING, 0, s,
                 PTLOGNO(00003) "ISAPI filter %s does not ask for SF_NOTIFY_PREPROC_HEADERS, the "
                                "only notification this module delivers: it will never be called",
                 path);
  return {};
}

// Runs for a configuration test and at every (re)start, while errors still reach the terminal and
// the exit status.
int CheckConfig(apr_pool_t*, apr_pool_t*, apr_pool_t*, server_rec* s) {
  const ServerConfig* config = ConfigOf(s);
  if (config->filterPath == nullptr) return OK;
  const std::string error = ProbeFilter(s, config->filterPath);
  if (error.empty()) return OK;
  ap_log_error(APLOG_MARK, APLOG_STARTUP | APLOG_CRIT, 0, nullptr, PTLOGNO(00001) "%s",
               error.c_str());
  return HTTP_INTERNAL_SERVER_ERROR;
}

apr_status_t UnloadFilter(void*) {
  g_filter.reset();
  return APR_SUCCESS;
}

void ChildInit(apr_pool_t* pchild, server_rec* s) {
  const ServerConfig* config = ConfigOf(s);
  if (config->filterPath == nullptr) return;
  std::string error;
  try {
    g_filter = FilterLibrary::Load(config->filterPath, error);
  } catch (const std::exception& e) {
    error = std::string("cannot load ISAPI filter ") + config->filterPath + ": " + e.what();
  }
  if (!g_filter) {
    // The parent checked this library; failing now means it changed under a running server.
    ap_log_error(APLOG_MARK, APLOG_CRIT, 0, s, PTLOGNO(00004) "%s", error.c_str());
    exit(APEXIT_CHILDFATAL);
  }
  apr_pool_cleanup_register(pchild, nullptr, UnloadFilter, apr_pool_cleanup_null);
}

int TranslateName(request_rec* r) {
  const FilterLibrary* filter = g_filter.get();
  // The client's request only: subrequests and internal redirects are the server's own.
  if (filter == nullptr || r->main != nullptr || r->prev != nullptr) return DECLINED;
  if (!filter->Wants(isapi::SF_NOTIFY_PREPROC_HEADERS)) return DECLINED;
  conn_rec* c = r->connection;
  if (!filter->Wants(ap_ssl_conn_is_ssl(c) ? isapi::SF_NOTIFY_SECURE_PORT
                                           : isapi::SF_NOTIFY_NONSECURE_PORT))
    return DECLINED;

  RequestBridge bridge(r, ap_get_module_config(c->conn_config, &isapi_filter_module));
  isapi::DWORD status;
  try {
    status = filter->HttpFilterProc(bridge.Context(), isapi::SF_NOTIFY_PREPROC_HEADERS,
                                    bridge.PreprocHeaders());
  } catch (...) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r,
                  PTLOGNO(00005) "ISAPI filter %s let an exception escape", filter->Path().c_str());
    status = isapi::SF_STATUS_REQ_ERROR;
  }
  ap_set_module_config(c->conn_config, &isapi_filter_module, bridge.FilterContextPointer());
  return bridge.Finish(status);
}

void RegisterHooks(apr_pool_t*) {
  ap_hook_check_config(CheckConfig, nullptr, nullptr, APR_HOOK_MIDDLE);
  ap_hook_child_init(ChildInit, nullptr, nullptr, APR_HOOK_MIDDLE);
  ap_hook_translate_name(TranslateName, nullptr, nullptr, APR_HOOK_REALLY_FIRST);
}

const command_rec kCommands[] = {
    AP_INIT_TAKE1("IsapiFilter", reinterpret_cast<cmd_func>(reinterpret_cast<void (*)()>(SetIsapiFilter)), nullptr, RSRC_CONF,
                  "path of the ISAPI filter library to load"),
    {nullptr, nullptr, nullptr, 0, RAW_ARGS, nullptr},
};

}  // namespace

extern "C" {
__attribute__((visibility("default"))) module AP_MODULE_DECLARE_DATA isapi_filter_module = {
    STANDARD20_MODULE_STUFF,
    nullptr,             // per-directory config
    nullptr,             // merge per-directory
    CreateServerConfig,  // per-server config
    nullptr,             // merge per-server: the filter is global
    kCommands,
    RegisterHooks,
    AP_MODULE_FLAG_NONE,
};
}
