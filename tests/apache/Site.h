// A real Apache httpd serving the sample site with our module and filter, in a temporary folder
// of its own: drive root, registry, simulated UPS, syslog socket, configuration and logs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace pentrel::e2e {

namespace fs = std::filesystem;

struct SiteOptions {
  bool withFilter = true;
  std::string filterPath;          // empty: the project's PENTREL.so; "@DIR@" is the site folder
  std::string initialUps = "OL";   // "OL", "OB" (12 minutes left) or "down" (no sim file)
  std::string extraConfig;         // more lines for httpd.conf
};

inline SiteOptions WithUps(std::string state) {
  SiteOptions options;
  options.initialUps = std::move(state);
  return options;
}
inline SiteOptions WithFilter(std::string path) {
  SiteOptions options;
  options.filterPath = std::move(path);
  return options;
}

struct CommandResult {
  int exitCode = -1;
  std::string output;
};

class Site {
 public:
  explicit Site(SiteOptions options = {});
  ~Site();
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  // Starts Apache and waits until it accepts connections; on failure the text says why.
  bool Start(std::string& error);
  void Stop();
  // Runs apache2 with these arguments on this site's configuration (e.g. "-t").
  CommandResult RunApache(const std::vector<std::string>& arguments);
  bool Alive();

  int Port() const { return m_port; }
  const fs::path& Dir() const { return m_dir; }

  void SetUpsOnline();
  void SetUpsOnBattery(int minutes);
  void SetUpsDown();

  std::string Trace() const;     // the filter's C:\temp\err.txt
  std::string ErrorLog() const;  // Apache's error log
  // Datagrams that reached the test's syslog socket within the wait.
  std::vector<std::string> SyslogMessages(std::chrono::milliseconds wait);

  std::string PageFile(const std::string& relative) const;  // a file of the served htdocs
  // What the filter answers for url while the UPS runs on battery.
  std::string WrappedPage(const std::string& url) const;

 private:
  void Layout();
  void WriteConfig();
  void WriteUps(const std::string& text);
  void SetEnvironment() const;

  SiteOptions m_options;
  fs::path m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
  int m_syslog = -1;
};

std::string ReadFile(const fs::path& path);
int FreePort();

}  // namespace pentrel::e2e
