// One conversation with upsd over one connection: strict request and reply, one line each way
// (LIST UPS aside). Any failure of the transport or of the protocol closes the connection, so that
// no later request can read a reply meant for an earlier one.
#pragma once

#include <string>
#include <vector>

#include "Backend.h"
#include "NutUrl.h"
#include "Socket.h"

namespace kivlink::nut {

class Session {
 public:
  // Connects and gets the connection ready: USERNAME, PASSWORD and LOGIN when the target has
  // credentials (LOGIN is where upsd checks them), LIST UPS when it names no UPS.
  int Open(const NutTarget& target, Clock::time_point deadline);
  bool IsOpen() const { return socket_.IsOpen(); }
  void Close() noexcept;

  // GET VAR on the session's UPS.
  Reading GetVar(const std::string& name, Clock::time_point deadline);

  // Says goodbye (LOGOUT) and closes; best effort.
  void Logout(Clock::time_point deadline);

 private:
  int Send(const std::string& line, Clock::time_point deadline);
  int ReadWords(Clock::time_point deadline, std::vector<std::string>& words);
  // Sends one command and checks that the reply starts with `expected`.
  int Simple(const std::string& line, const char* expected, Clock::time_point deadline);
  int FirstUps(Clock::time_point deadline);
  // Closes the connection when `rc` says the conversation can no longer be trusted.
  int Fail(int rc);

  Socket socket_;
  std::string buffer_;  // received bytes not yet taken as a line
  std::string ups_;
};

}  // namespace kivlink::nut
