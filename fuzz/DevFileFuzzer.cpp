// Any bytes as a simulator file: the items computed from it always fit their contracts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Items.h"
#include "SimBackend.h"
#include "kivlink.h"

namespace {
class FixedVars final : public kivlink::Backend {
 public:
  explicit FixedVars(std::map<std::string, std::string> vars) : vars_(std::move(vars)) {}
  int Connect() override { return KIVLINK_OK; }
  kivlink::Reading GetVar(const std::string& name) override {
    const auto it = vars_.find(name);
    if (it == vars_.end()) return {KIVLINK_ERR_VAR_NOT_SUPPORTED, {}};
    return {KIVLINK_OK, it->second};
  }

 private:
  std::map<std::string, std::string> vars_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FixedVars backend(kivlink::ParseDevFile(std::string_view(reinterpret_cast<const char*>(data), size)));
  for (const int item : {KIVLINK_UPS_STATE, KIVLINK_POWER_SOURCE, KIVLINK_BATTERY_FLOW, KIVLINK_RUN_TIME_REMAINING}) {
    const kivlink::Reading r = kivlink::ReadItem(backend, item);
    if (r.code == KIVLINK_OK && r.value.size() > kivlink::MaxItemLength(item)) std::abort();
  }
  return 0;
}
