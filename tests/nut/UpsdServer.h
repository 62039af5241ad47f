// A real upsd with dummy-ups drivers on loopback, from a configuration in a temporary directory.
// Everything it starts is stopped by the destructor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pentrel::test {

struct UpsSpec {
  std::string name;
  std::string dev;             // content of its .dev file
  bool startDriver = true;     // false: configured in ups.conf, but no driver runs
};

class UpsdServer {
 public:
  // Starts the drivers and upsd, and waits until every started UPS has a reading.
  explicit UpsdServer(std::vector<UpsSpec> upses);
  ~UpsdServer();
  UpsdServer(const UpsdServer&) = delete;
  UpsdServer& operator=(const UpsdServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // "nut://127.0.0.1:PORT" followed by `rest` (e.g. "/ol?cache=0").
  std::string Url(const std::string& rest = "") const;

  void StopUpsd();
  void StartUpsd();
  void PauseUpsd();   // SIGSTOP: upsd keeps its sockets but answers nothing
  void ResumeUpsd();
  void PauseDriver(const std::string& ups);
  void ResumeDriver(const std::string& ups);

  // Rewrites a .dev file atomically with a time stamp later than any before, so that dummy-ups,
  // which compares whole-second stamps, sees the change.
  void WriteDev(const std::string& ups, const std::string& content);

  // ups.status as upsd reports it now, asked on a connection of the fixture's own.
  std::string Status(const std::string& ups) const;
  // What upsd has logged so far.
  std::string UpsdLog() const;

  // Waits until upsd reports a fresh ups.status for `ups`; false on timeout.
  bool WaitReady(const std::string& ups, std::chrono::seconds limit) const;

  static bool Available();  // upsd and dummy-ups are installed and we are root

 private:
  pid_t Spawn(const std::vector<std::string>& argv, const std::string& log);
  static void Stop(pid_t pid);

  std::filesystem::path dir_;
  std::uint16_t port_ = 0;
  std::vector<UpsSpec> upses_;
  std::map<std::string, pid_t> drivers_;
  pid_t upsd_ = -1;
  std::map<std::string, std::filesystem::file_time_type> stamps_;
};

}  // namespace pentrel::test
