#include "Site.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Http.h"

namespace pentrel::e2e {

namespace {

using namespace std::chrono_literals;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Waits for a child with a deadline; false if it is still running.
bool WaitFor(pid_t pid, std::chrono::milliseconds limit, int& status) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

bool Accepts(int port) {
  Connection connection(port, 1s);
  return connection.Open();
}

}  // namespace

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("no free port");
  close(fd);
  return ntohs(address.sin_port);
}

Site::Site(SiteOptions options) : m_options(std::move(options)) {
  char pattern[] = "/tmp/pentrel-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_dir = pattern;
  fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  m_port = FreePort();
  Layout();
  WriteConfig();
}

Site::~Site() {
  Stop();
  if (m_syslog >= 0) close(m_syslog);
  std::error_code ec;
  fs::remove_all(m_dir, ec);
}

void Site::Layout() {
  // Copies, so that the server's user can read them wherever the build tree lives.
  const fs::path site = PENTREL_E2E_SITE_DIR;
  fs::create_directories(m_dir / "root/c/temp");
  fs::create_directories(m_dir / "logs");
  fs::create_directories(m_dir / "run");
  fs::create_directories(m_dir / "lib");
  fs::create_directories(m_dir / "cgi-bin");
  fs::copy(site / "htdocs", m_dir / "htdocs", fs::copy_options::recursive);
  fs::copy_file(site / "pt_wrap.htm", m_dir / "pt_wrap.htm");
  fs::copy_file(PENTREL_E2E_FILTER, m_dir / "lib/PENTREL.so");
  fs::copy_file(PENTREL_E2E_KIVLINK, m_dir / "lib/libkivlink.so");
  fs::copy_file(PENTREL_E2E_PT_NOTFY, m_dir / "cgi-bin/pt_notfy");
  fs::copy_file(PENTREL_E2E_PROBE_FILTER, m_dir / "lib/probe.so");
  fs::copy_file(PENTREL_E2E_REFUSING_FILTER, m_dir / "lib/refusing.so");

  WriteFile(m_dir / "root/registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0]\r\n"
            "\"Wrapper File\"=\"" + (m_dir / "pt_wrap.htm").string() + "\"\r\n");
  if (m_options.initialUps == "OB")
    SetUpsOnBattery(12);
  else if (m_options.initialUps == "OL")
    SetUpsOnline();

  m_syslog = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (m_dir / "syslog.sock").string();
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  if (m_syslog < 0 || bind(m_syslog, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot bind the syslog socket");

  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(m_dir)) {
    const bool dir = entry.is_directory();
    fs::permissions(entry.path(), dir || entry.path().parent_path().filename() == "cgi-bin"
                                      ? fs::perms(0755)
                                      : fs::perms(0644),
                    ec);
  }
  fs::permissions(m_dir / "syslog.sock", fs::perms(0666), ec);
  if (geteuid() == 0) {
    // Debian's apache2 serves as www-data: C:\temp must be its to write.
    if (const passwd* user = getpwnam("www-data"))
      for (const char* path : {"root/c/temp"})
        if (chown((m_dir / path).c_str(), user->pw_uid, user->pw_gid) != 0)
          throw std::runtime_error("chown failed");
  }
}

void Site::WriteConfig() {
  const std::string d = m_dir.string();
  const std::string modules = PENTREL_E2E_APACHE_MODULES;
  std::ostringstream conf;
  conf << "ServerRoot \"" << d << "\"\n"
       << "ServerName 127.0.0.1\n"
       << "Listen 127.0.0.1:" << m_port << "\n"
       << "PidFile \"" << d << "/run/httpd.pid\"\n"
       << "DefaultRuntimeDir \"" << d << "/run\"\n"
       << "ErrorLog \"" << d << "/logs/error.log\"\n"
       << "LogLevel notice\n"
       << "Timeout 20\n"
       << "KeepAliveTimeout 5\n"
       << "MaxKeepAliveRequests 0\n";
  if (geteuid() == 0 && getpwnam("www-data") != nullptr) conf << "User www-data\nGroup www-data\n";
  for (const char* module : {"mpm_event", "authz_core", "mime", "alias", "cgid", "dir"})
    conf << "LoadModule " << module << "_module " << modules << "/mod_" << module << ".so\n";
  conf << "<IfModule mpm_event_module>\n  StartServers 2\n  ThreadsPerChild 25\n"
       << "  MaxRequestWorkers 100\n</IfModule>\n"
       << "TypesConfig /etc/mime.types\n"
       << "ScriptSock \"" << d << "/run/cgid.sock\"\n"
       << "DocumentRoot \"" << d << "/htdocs\"\n"
       << "DirectoryIndex index.htm\n"
       << "<Directory />\n  AllowOverride None\n  Require all denied\n</Directory>\n"
       << "<Directory \"" << d << "/htdocs\">\n  Require all granted\n</Directory>\n"
       << "ScriptAlias /cgi-bin/pt_notfy.exe \"" << d << "/cgi-bin/pt_notfy\"\n"
       << "<Directory \"" << d << "/cgi-bin\">\n  Require all granted\n</Directory>\n";
  std::string filter = m_options.filterPath.empty() ? "@DIR@/lib/PENTREL.so" : m_options.filterPath;
  if (filter.starts_with("@DIR@")) filter = d + filter.substr(5);
  if (m_options.withFilter) {
    conf << "LoadModule isapi_filter_module " << PENTREL_E2E_MODULE << "\n"
         << "IsapiFilter \"" << filter << "\"\n";
  }
  conf << m_options.extraConfig << "\n";
  WriteFile(m_dir / "httpd.conf", conf.str());
}

void Site::SetEnvironment() const {
  const std::string d = m_dir.string();
  setenv("PENTREL_ROOT", (d + "/root").c_str(), 1);
  setenv("KIVLINK_UPS", ("sim:" + d + "/ups.dev").c_str(), 1);
  setenv("PENTREL_SYSLOG_SOCKET", (d + "/syslog.sock").c_str(), 1);
  setenv("LD_LIBRARY_PATH", (d + "/lib").c_str(), 1);
}

CommandResult Site::RunApache(const std::vector<std::string>& arguments) {
  const fs::path output = m_dir / "logs/command.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    SetEnvironment();
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<std::string> args{"apache2", "-f", (m_dir / "httpd.conf").string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(PENTREL_E2E_APACHE, argv.data());
    _exit(127);
  }
  CommandResult result;
  int status = 0;
  if (!WaitFor(pid, 60s, status)) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = ReadFile(output);
  return result;
}

bool Site::Start(std::string& error) {
  const fs::path output = m_dir / "logs/stderr.txt";
  m_pid = fork();
  if (m_pid == 0) {
    setpgid(0, 0);
    SetEnvironment();
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    execl(PENTREL_E2E_APACHE, "apache2", "-f", (m_dir / "httpd.conf").c_str(), "-DFOREGROUND",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(m_pid, m_pid);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      error = "apache2 exited at start:\n" + ReadFile(output) + ReadFile(m_dir / "logs/error.log");
      return false;
    }
    if (Accepts(m_port)) return true;
    std::this_thread::sleep_for(50ms);
  }
  error = "apache2 did not accept connections within 30 s";
  Stop();
  return false;
}

bool Site::Alive() { return m_pid > 0 && kill(m_pid, 0) == 0; }

void Site::Stop() {
  if (m_pid <= 0) return;
  int status = 0;
  kill(m_pid, SIGTERM);
  if (!WaitFor(m_pid, 20s, status)) {
    kill(-m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
  }
  kill(-m_pid, SIGKILL);  // any child the server left behind
  m_pid = -1;
}

void Site::WriteUps(const std::string& text) {
  // Whole or not at all, as scripts/ups does it: the server reads the file at any moment.
  const fs::path temporary = m_dir / "ups.dev.new";
  WriteFile(temporary, text);
  fs::permissions(temporary, fs::perms(0644));
  fs::rename(temporary, m_dir / "ups.dev");
}

void Site::SetUpsOnline() { WriteUps("ups.status: OL\nbattery.charge: 100\nbattery.runtime: 3600\n"); }

void Site::SetUpsOnBattery(int minutes) {
  WriteUps("ups.status: OB DISCHRG\nbattery.charge: 40\nbattery.runtime: " +
           std::to_string(minutes * 60) + "\n");
}

void Site::SetUpsDown() {
  std::error_code ec;
  fs::remove(m_dir / "ups.dev", ec);
}

std::string Site::Trace() const { return ReadFile(m_dir / "root/c/temp/err.txt"); }
std::string Site::ErrorLog() const { return ReadFile(m_dir / "logs/error.log"); }

std::vector<std::string> Site::SyslogMessages(std::chrono::milliseconds wait) {
  std::vector<std::string> messages;
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{m_syslog, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0) break;
    char buffer[4096];
    const ssize_t n = recv(m_syslog, buffer, sizeof buffer, 0);
    if (n <= 0) continue;
    // Once one has come, the others of the same start-up are close behind.
    if (messages.empty()) deadline = std::min(deadline, std::chrono::steady_clock::now() + 500ms);
    messages.emplace_back(buffer, static_cast<std::size_t>(n));
  }
  return messages;
}

std::string Site::PageFile(const std::string& relative) const {
  return ReadFile(m_dir / "htdocs" / relative);
}

std::string Site::WrappedPage(const std::string& url) const {
  // The template line by line, each line ending in one line feed, split at the keyword.
  std::istringstream lines(ReadFile(m_dir / "pt_wrap.htm"));
  std::string text, line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line + "\n";
  }
  const std::size_t keyword = text.find("ORIGINAL_PAGE");
  std::string escaped;
  for (char c : url) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return text.substr(0, keyword) + escaped + text.substr(keyword + 13);
}

}  // namespace pentrel::e2e
