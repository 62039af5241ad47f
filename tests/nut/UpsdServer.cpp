#include "UpsdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace pentrel::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Debian installs the real upsd and the drivers here; /usr/sbin/upsd is a wrapper that reads nut.conf.
fs::path FindNut(const char* name) {
  for (const char* dir : {"/lib/nut", "/usr/lib/nut", "/usr/libexec/nut", "/usr/sbin", "/sbin"}) {
    const fs::path p = fs::path(dir) / name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

std::uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no free port");
  ::close(fd);
  return ntohs(a.sin_port);
}

void WriteFile(const fs::path& p, const std::string& text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
  fs::permissions(p, perms);
}

// One request to upsd on its own plain blocking socket: the fixture must not depend on the code under test.
std::string AskUpsd(std::uint16_t port, const std::string& line) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  timeval tv{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    char c = 0;
    while (reply.size() < 4096 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') reply += c;
  }
  ::close(fd);
  return reply;
}

}  // namespace

bool UpsdServer::Available() { return ::geteuid() == 0 && !FindNut("upsd").empty() && !FindNut("dummy-ups").empty(); }

UpsdServer::UpsdServer(std::vector<UpsSpec> upses) : upses_(std::move(upses)) {
  char templ[] = "/tmp/kivlink-nut-XXXXXX";
  if (::mkdtemp(templ) == nullptr) throw std::runtime_error("mkdtemp");
  dir_ = templ;
  for (const char* sub : {"conf", "state", "run"}) fs::create_directory(dir_ / sub);
  fs::permissions(dir_ / "state", fs::perms::owner_all);
  port_ = FreePort();

  std::string upsConf;
  for (const UpsSpec& u : upses_) {
    upsConf += "[" + u.name + "]\n  driver = dummy-ups\n  port = " + u.name + ".dev\n  pollinterval = 1\n";
    WriteDev(u.name, u.dev);
  }
  WriteFile(dir_ / "conf/ups.conf", upsConf);
  WriteFile(dir_ / "conf/upsd.conf", "LISTEN 127.0.0.1 " + std::to_string(port_) + "\nMAXAGE 5\n");
  WriteFile(dir_ / "conf/upsd.users", "[mon]\n  password = \"se cr\\\"et\"\n  upsmon secondary\n");

  for (const UpsSpec& u : upses_)
    if (u.startDriver)
      drivers_[u.name] = Spawn({FindNut("dummy-ups"), "-a", u.name, "-u", "root", "-F"}, "driver-" + u.name + ".log");
  StartUpsd();
  for (const UpsSpec& u : upses_)
    if (u.startDriver && !WaitReady(u.name, 20s)) throw std::runtime_error("upsd has no reading for " + u.name);
}

UpsdServer::~UpsdServer() {
  StopUpsd();
  for (const auto& [name, pid] : drivers_) Stop(pid);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string UpsdServer::Url(const std::string& rest) const {
  return "nut://127.0.0.1:" + std::to_string(port_) + rest;
}

pid_t UpsdServer::Spawn(const std::vector<std::string>& argv, const std::string& log) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "NUT_", 4) != 0) env.emplace_back(*e);
  env.push_back("NUT_CONFPATH=" + (dir_ / "conf").string());
  env.push_back("NUT_STATEPATH=" + (dir_ / "state").string());
  env.push_back("NUT_ALTPIDPATH=" + (dir_ / "run").string());
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const std::string logPath = (dir_ / "run" / log).string();

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot start " + argv[0]);
  if (pid == 0) {
    // Only async-signal-safe calls here. The child dies with the test process, however that ends
    // (a sanitizer halting it, a ctest timeout), so no upsd or driver outlives it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0 || ::dup2(in, 0) < 0) ::_exit(127);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

void UpsdServer::Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGCONT);
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(50ms);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

void UpsdServer::StopUpsd() {
  Stop(upsd_);
  upsd_ = -1;
}

void UpsdServer::StartUpsd() {
  if (upsd_ > 0) return;
  upsd_ = Spawn({FindNut("upsd"), "-u", "root", "-F"}, "upsd.log");
  // Listening: a LIST UPS is answered.
  for (int i = 0; i < 100; ++i) {
    if (AskUpsd(port_, "LIST UPS\n") == "BEGIN LIST UPS") return;
    std::this_thread::sleep_for(50ms);
  }
  throw std::runtime_error("upsd does not answer");
}

void UpsdServer::PauseUpsd() { ::kill(upsd_, SIGSTOP); }
void UpsdServer::ResumeUpsd() { ::kill(upsd_, SIGCONT); }
void UpsdServer::PauseDriver(const std::string& ups) { ::kill(drivers_.at(ups), SIGSTOP); }
void UpsdServer::ResumeDriver(const std::string& ups) { ::kill(drivers_.at(ups), SIGCONT); }

void UpsdServer::WriteDev(const std::string& ups, const std::string& content) {
  const fs::path target = dir_ / "conf" / (ups + ".dev");
  const fs::path temp = dir_ / "conf" / (ups + ".dev.new");
  WriteFile(temp, content, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  // At least two seconds past the previous stamp: dummy-ups compares whole seconds.
  auto stamp = fs::file_time_type::clock::now();
  if (const auto it = stamps_.find(ups); it != stamps_.end() && stamp < it->second + 2s) stamp = it->second + 2s;
  fs::last_write_time(temp, stamp);
  stamps_[ups] = stamp;
  fs::rename(temp, target);
}

std::string UpsdServer::Status(const std::string& ups) const {
  const std::string reply = AskUpsd(port_, "GET VAR " + ups + " ups.status\n");
  const std::string prefix = "VAR " + ups + " ups.status \"";
  if (!reply.starts_with(prefix) || !reply.ends_with('"')) return {};
  return reply.substr(prefix.size(), reply.size() - prefix.size() - 1);
}

std::string UpsdServer::UpsdLog() const {
  std::ifstream in(dir_ / "run" / "upsd.log");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool UpsdServer::WaitReady(const std::string& ups, std::chrono::seconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (const std::string status = Status(ups); !status.empty() && status != "WAIT") return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

}  // namespace pentrel::test
