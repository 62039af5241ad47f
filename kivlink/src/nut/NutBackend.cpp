#include "NutBackend.h"

#include "kivlink.h"

namespace kivlink::nut {

namespace {

// Codes that are upsd's own answer about the UPS, worth keeping for the cache period; the others
// say the conversation failed and the next call must try again.
bool IsAnswer(int code) {
  return code != KIVLINK_ERR_CONNECT && code != KIVLINK_ERR_TIMEOUT && code != KIVLINK_ERR_PROTOCOL &&
         code != KIVLINK_ERR_UNKNOWN;
}

}  // namespace

NutBackend::~NutBackend() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(200);
  std::unique_lock lock(sessionGate_, deadline);
  if (lock.owns_lock()) session_.Logout(deadline + std::chrono::milliseconds(200));
}

bool NutBackend::FromCache(const std::string& name, Reading& out) {
  if (target_.cache.count() == 0) return false;
  std::lock_guard lock(cacheMutex_);
  const auto it = cache_.find(name);
  if (it == cache_.end() || Clock::now() - it->second.taken >= target_.cache) return false;
  out = it->second.reading;
  return true;
}

Reading NutBackend::Fetch(const std::string& name, Clock::time_point deadline) {
  const bool reused = session_.IsOpen();
  if (!reused) {
    if (const int rc = session_.Open(target_, deadline); rc != KIVLINK_OK) return {rc, {}};
  }
  Reading r = session_.GetVar(name, deadline);
  // upsd restarted or dropped the idle connection: one fresh try within the same deadline.
  if (reused && r.code == KIVLINK_ERR_CONNECT && Clock::now() < deadline) {
    if (const int rc = session_.Open(target_, deadline); rc != KIVLINK_OK) return {rc, {}};
    r = session_.GetVar(name, deadline);
  }
  return r;
}

Reading NutBackend::GetVar(const std::string& name) {
  const auto deadline = Clock::now() + target_.timeout;
  Reading r;
  if (FromCache(name, r)) return r;
  std::unique_lock lock(sessionGate_, deadline);
  if (!lock.owns_lock()) return {KIVLINK_ERR_TIMEOUT, {}};
  // Another thread may have fetched it while this one waited for the connection.
  if (FromCache(name, r)) return r;
  const auto asked = Clock::now();
  r = Fetch(name, deadline);
  // ups.status WAIT: the driver has no reading yet.
  if (r.code == KIVLINK_OK && name == "ups.status" && r.value == "WAIT") r = {KIVLINK_ERR_DATA_STALE, {}};
  if (target_.cache.count() > 0 && IsAnswer(r.code)) {
    std::lock_guard cacheLock(cacheMutex_);
    cache_[name] = {r, asked};
  }
  return r;
}

int NutBackend::Connect() {
  const auto deadline = Clock::now() + target_.timeout;
  std::unique_lock lock(sessionGate_, deadline);
  if (!lock.owns_lock()) return KIVLINK_ERR_TIMEOUT;
  const Reading r = Fetch("ups.status", deadline);
  switch (r.code) {
    case KIVLINK_ERR_DATA_STALE:
    case KIVLINK_ERR_DRIVER_NOT_CONNECTED:
    case KIVLINK_ERR_VAR_NOT_SUPPORTED: return KIVLINK_OK;
    default: return r.code;
  }
}

}  // namespace kivlink::nut
