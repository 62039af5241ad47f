// Headless Chromium driven over the DevTools protocol on a pipe (--remote-debugging-pipe): no
// network port, no driver program, nothing beyond the browser itself.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace pentrel::e2e {

class Browser {
 public:
  Browser();  // starts the browser; Running() tells whether that worked
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  bool Running() const { return m_pid > 0; }
  // Sends one command (params: a JSON object) and returns its reply, empty after the timeout.
  std::string Call(const std::string& method, const std::string& params = "{}",
                   const std::string& session = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  bool ReadMessage(std::string& message, std::chrono::steady_clock::time_point deadline);

  pid_t m_pid = -1;
  int m_commands = -1;  // the browser reads this pipe
  int m_replies = -1;   // and writes this one
  int m_nextId = 0;
  std::string m_buffer;
  std::filesystem::path m_profile;
};

// The first string member named key anywhere in json, unescaped; empty when there is none.
std::string JsonString(const std::string& json, const std::string& key);
std::string Base64Decode(const std::string& text);

}  // namespace pentrel::e2e
