#include "ScriptedKivlink.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "kivlink.h"

namespace {
std::mutex g_mutex;
int g_initResult = 0;
int g_initCalls = 0;
std::map<int, std::optional<std::string>> g_items;
std::map<int, int> g_calls;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void ScriptReset() {
  std::lock_guard lock(g_mutex);
  g_initResult = 0;
  g_initCalls = 0;
  g_items.clear();
  g_calls.clear();
}
__attribute__((visibility("default"))) void ScriptInitResult(int result) {
  std::lock_guard lock(g_mutex);
  g_initResult = result;
}
__attribute__((visibility("default"))) void ScriptItem(int item, const char* text) {
  std::lock_guard lock(g_mutex);
  g_items[item] = text ? std::optional<std::string>(text) : std::nullopt;
}
__attribute__((visibility("default"))) int ScriptCalls(int item) {
  std::lock_guard lock(g_mutex);
  return g_calls[item];
}
__attribute__((visibility("default"))) int ScriptInitCalls() {
  std::lock_guard lock(g_mutex);
  return g_initCalls;
}

__attribute__((visibility("default"))) int InitClient(const char*) {
  std::lock_guard lock(g_mutex);
  ++g_initCalls;
  return g_initResult;
}

__attribute__((visibility("default"))) int OrvGet(int item, char* buffer) {
  std::lock_guard lock(g_mutex);
  ++g_calls[item];
  const auto it = g_items.find(item);
  if (it == g_items.end() || !it->second) return KIVLINK_ERR_VAR_NOT_SUPPORTED;
  std::memcpy(buffer, it->second->c_str(), it->second->size() + 1);
  return KIVLINK_OK;
}

__attribute__((visibility("default"))) const char* KivlinkErrorText(int) { return "scripted"; }
}
