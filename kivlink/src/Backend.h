// One way of reaching a UPS: the NUT network protocol or the built-in simulator.
#pragma once

#include <string>

namespace kivlink {

struct Reading {
  int code = 0;       // KIVLINK_OK or a KIVLINK_ERR_* value
  std::string value;  // the variable's value when code is KIVLINK_OK
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Checks that the UPS can be reached now; KIVLINK_OK or the reason it cannot.
  virtual int Connect() = 0;
  // One NUT variable ("ups.status", "battery.runtime"). Must be safe from many threads at once.
  virtual Reading GetVar(const std::string& name) = 0;
};

}  // namespace kivlink
