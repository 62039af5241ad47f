// A small HTTP/1.1 client over plain sockets, with timeouts, for talking to the real server.
#pragma once

#include <chrono>
#include <map>
#include <string>

namespace pentrel::e2e {

struct Response {
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  bool chunked = false;

  std::string Header(const std::string& lowerName) const {
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
};

// One client connection; requests on it use keep-alive until the server closes it.
class Connection {
 public:
  explicit Connection(int port, std::chrono::milliseconds timeout = std::chrono::seconds(15));
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Open() const { return m_fd >= 0; }
  // Sends one GET and reads its whole answer; status 0 when the exchange failed.
  Response Get(const std::string& target, const std::string& extraHeaders = {});
  bool ServerClosed();  // true when the server has closed its side (EOF without data)

 private:
  bool ReadMore();
  bool ReadLine(std::string& line);
  bool ReadExactly(std::size_t n, std::string& out);

  int m_fd = -1;
  std::string m_buffer;
};

// One request on a connection of its own.
Response Get(int port, const std::string& target);

}  // namespace pentrel::e2e
