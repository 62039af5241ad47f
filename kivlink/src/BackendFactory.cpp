#include "BackendFactory.h"

#include <cstdlib>
#include <string>

#include "SimBackend.h"
#include "nut/NutBackend.h"
#include "nut/NutUrl.h"

namespace kivlink {

std::string ChooseServer(const char* server) {
  if (server != nullptr && *server != '\0') return server;
  const char* env = std::getenv("KIVLINK_UPS");
  if (env != nullptr && *env != '\0') return env;
  return "nut://127.0.0.1:3493";
}

std::unique_ptr<Backend> MakeBackend(std::string_view server) {
  if (server.starts_with("sim:") && server.size() > 4)
    return std::make_unique<SimBackend>(std::string(server.substr(4)));
  if (auto target = nut::ParseNutUrl(server)) return std::make_unique<nut::NutBackend>(std::move(*target));
  return nullptr;
}

}  // namespace kivlink
