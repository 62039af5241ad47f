#include "Browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace pentrel::e2e {

namespace {

using namespace std::chrono_literals;

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

Browser::Browser() {
  char pattern[] = "/tmp/pentrel-chromium-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  m_profile = pattern;
  int commands[2], replies[2];
  if (pipe2(commands, O_CLOEXEC) != 0) return;
  if (pipe2(replies, O_CLOEXEC) != 0) {
    close(commands[0]);
    close(commands[1]);
    return;
  }
  const std::string log = std::string(PENTREL_E2E_ARTIFACTS) + "/chromium.log";
  std::filesystem::create_directories(PENTREL_E2E_ARTIFACTS);
  m_pid = fork();
  if (m_pid == 0) {
    setpgid(0, 0);
    // The protocol's fixed descriptors: 3 carries commands in, 4 replies out.
    const int in = fcntl(commands[0], F_DUPFD, 10);
    const int out = fcntl(replies[1], F_DUPFD, 10);
    dup2(in, 3);
    dup2(out, 4);
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(logFd, 1);
    dup2(logFd, 2);
    const std::string profile = "--user-data-dir=" + m_profile.string();
    std::vector<const char*> argv = {
        "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
        "--no-first-run", "--disable-background-networking", "--disable-component-update",
        "--disable-sync", "--disable-dev-shm-usage", "--hide-scrollbars",
        "--remote-debugging-pipe", profile.c_str(), "about:blank", nullptr};
    execv(PENTREL_E2E_CHROMIUM, const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(commands[0]);
  close(replies[1]);
  m_commands = commands[1];
  m_replies = replies[0];
  if (m_pid < 0) m_pid = -1;
}

Browser::~Browser() {
  if (m_pid > 0) {
    Call("Browser.close", "{}", {}, 5s);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (waitpid(m_pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(50ms);
    kill(-m_pid, SIGKILL);  // the browser's helper processes share its group
    waitpid(m_pid, &status, WNOHANG);
  }
  if (m_commands >= 0) close(m_commands);
  if (m_replies >= 0) close(m_replies);
  std::error_code ec;
  if (!m_profile.empty()) std::filesystem::remove_all(m_profile, ec);
}

bool Browser::ReadMessage(std::string& message, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const std::size_t end = m_buffer.find('\0');
    if (end != std::string::npos) {
      message = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 1);
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{m_replies, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[65536];
    const ssize_t n = read(m_replies, chunk, sizeof chunk);
    if (n <= 0) return false;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string Browser::Call(const std::string& method, const std::string& params,
                          const std::string& session, std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return {};
  const int id = ++m_nextId;
  std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method +
                        "\",\"params\":" + params;
  if (!session.empty()) message += ",\"sessionId\":\"" + session + "\"";
  message += "}";
  message += '\0';
  if (write(m_commands, message.data(), message.size()) != static_cast<ssize_t>(message.size()))
    return {};
  const std::string prefix = "{\"id\":" + std::to_string(id) + ",";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string reply;
  while (ReadMessage(reply, deadline))
    if (reply.compare(0, prefix.size(), prefix) == 0) return reply;
  return {};
}

std::string JsonString(const std::string& json, const std::string& key) {
  const std::string start = "\"" + key + "\":\"";
  std::size_t i = json.find(start);
  if (i == std::string::npos) return {};
  std::string out;
  for (i += start.size(); i < json.size() && json[i] != '"'; ++i) {
    if (json[i] != '\\' || i + 1 >= json.size()) {
      out += json[i];
      continue;
    }
    const char e = json[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u':
        if (i + 4 < json.size()) {
          AppendUtf8(out, static_cast<unsigned>(std::strtoul(json.substr(i + 1, 4).c_str(), nullptr, 16)));
          i += 4;
        }
        break;
      default: out += e;  // \" \\ \/
    }
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (const char c : text) {
    int d;
    if (c >= 'A' && c <= 'Z') d = c - 'A';
    else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
    else if (c >= '0' && c <= '9') d = c - '0' + 52;
    else if (c == '+') d = 62;
    else if (c == '/') d = 63;
    else continue;
    value = (value << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace pentrel::e2e
