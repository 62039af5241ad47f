// The filter's one exception: carries a failure's message to the boundary that reports it.
#pragma once

#include <string>

inline constexpr const char* kEventSourceName = "Pentrel for MSIIS";

class PT_Exception {
 public:
  explicit PT_Exception(std::string message) : m_message(std::move(message)) {}

  // Writes the message to the system event log, unless it is empty.
  void ReportError() const;

 private:
  void WriteEventLogEntry(std::string message) const;

  std::string m_message;
};
