// Turns a server text into the backend that reaches it.
#pragma once

#include <memory>
#include <string_view>

#include "Backend.h"

namespace kivlink {

// Nothing when the text names no known form ("sim:PATH", "nut://...") or is malformed.
std::unique_ptr<Backend> MakeBackend(std::string_view server);

// InitClient's choice: `server` when not empty, else $KIVLINK_UPS, else the local upsd.
std::string ChooseServer(const char* server);

}  // namespace kivlink
