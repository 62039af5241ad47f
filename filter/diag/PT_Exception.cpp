#include "PT_Exception.h"

#include <pentrel/platform/Platform.h>

void PT_Exception::ReportError() const {
  if (m_message.empty()) return;
  try {
    WriteEventLogEntry(m_message);
  } catch (...) {
    // A failure to report is dropped like a failure of the event log itself.
  }
}

void PT_Exception::WriteEventLogEntry(std::string message) const {
  pentrel::platform::ReportErrorEvent(kEventSourceName, message);
}
