#include "Http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace pentrel::e2e {

Connection::Connection(int port, std::chrono::milliseconds timeout) {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return;
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  const int one = 1;
  setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(m_fd);
    m_fd = -1;
  }
}

Connection::~Connection() {
  if (m_fd >= 0) close(m_fd);
}

bool Connection::ReadMore() {
  char chunk[16384];
  const ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  m_buffer.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool Connection::ReadLine(std::string& line) {
  for (;;) {
    const std::size_t end = m_buffer.find("\r\n");
    if (end != std::string::npos) {
      line = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 2);
      return true;
    }
    if (m_buffer.size() > 65536 || !ReadMore()) return false;
  }
}

bool Connection::ReadExactly(std::size_t n, std::string& out) {
  while (m_buffer.size() < n)
    if (!ReadMore()) return false;
  out.append(m_buffer, 0, n);
  m_buffer.erase(0, n);
  return true;
}

bool Connection::ServerClosed() {
  if (!m_buffer.empty()) return false;
  pollfd pfd{m_fd, POLLIN, 0};
  if (poll(&pfd, 1, 2000) <= 0) return false;
  char c;
  return recv(m_fd, &c, 1, MSG_PEEK) == 0;
}

Response Connection::Get(const std::string& target, const std::string& extraHeaders) {
  Response response;
  if (m_fd < 0) return response;
  const std::string request =
      "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(m_fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return response;
    sent += static_cast<std::size_t>(n);
  }
  std::string line;
  if (!ReadLine(line) || line.size() < 12 || line.compare(0, 5, "HTTP/") != 0) return response;
  const int status = std::atoi(line.c_str() + 9);
  while (ReadLine(line) && !line.empty()) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return response;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    response.headers[name] = line.substr(v);
  }
  if (!line.empty()) return response;

  std::string body;
  if (response.Header("transfer-encoding") == "chunked") {
    response.chunked = true;
    for (;;) {
      if (!ReadLine(line)) return response;
      const std::size_t size = std::strtoul(line.c_str(), nullptr, 16);
      if (size == 0) {
        while (ReadLine(line) && !line.empty()) {
        }
        break;
      }
      if (!ReadExactly(size, body) || !ReadLine(line)) return response;
    }
  } else if (response.headers.count("content-length") != 0) {
    if (!ReadExactly(std::strtoul(response.Header("content-length").c_str(), nullptr, 10), body))
      return response;
  } else {
    while (ReadMore()) {
    }
    body.swap(m_buffer);
  }
  response.body = std::move(body);
  response.status = status;
  return response;
}

Response Get(int port, const std::string& target) {
  Connection connection(port);
  return connection.Get(target, "Connection: close\r\n");
}

}  // namespace pentrel::e2e
