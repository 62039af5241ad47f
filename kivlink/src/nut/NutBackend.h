// The NUT backend: one connection to upsd, guarded by a mutex, with a short-lived cache of readings
// in front so that a busy site does not ask upsd once per request. Every call ends by its deadline,
// waiting for the connection included.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "Backend.h"
#include "NutUrl.h"
#include "Session.h"

namespace kivlink::nut {

// A mutex whose lock can give up at a deadline. Not std::timed_mutex: its timed lock is
// pthread_mutex_clocklock, which ThreadSanitizer does not see, so every unlock is reported.
class TimedGate {
 public:
  bool try_lock_until(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!released_.wait_until(lock, deadline, [this] { return !busy_; })) return false;
    busy_ = true;
    return true;
  }
  void unlock() {
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool busy_ = false;
};

class NutBackend final : public Backend {
 public:
  explicit NutBackend(NutTarget target) : target_(std::move(target)) {}
  ~NutBackend() override;  // LOGOUT, bounded
  NutBackend(const NutBackend&) = delete;
  NutBackend& operator=(const NutBackend&) = delete;

  // Reaches upsd and checks that the UPS exists and the credentials hold. A UPS whose driver has no
  // reading yet counts as reached: the reading is asked for again on every call.
  int Connect() override;
  Reading GetVar(const std::string& name) override;

 private:
  struct Cached {
    Reading reading;
    Clock::time_point taken;
  };
  bool FromCache(const std::string& name, Reading& out);
  // Asks upsd, the session mutex held; reopens a connection that went away while idle.
  Reading Fetch(const std::string& name, Clock::time_point deadline);

  const NutTarget target_;
  std::mutex cacheMutex_;
  std::map<std::string, Cached> cache_;
  TimedGate sessionGate_;  // held for a whole conversation with upsd
  Session session_;
};

}  // namespace kivlink::nut
