// The items OrvGet offers, computed from NUT variables alike for every backend.
#pragma once

#include <string>

#include "Backend.h"

namespace kivlink {

// The item's text, or the reason it cannot be given. The text never exceeds MaxItemLength(item).
Reading ReadItem(Backend& backend, int item);

// 19 characters for the state items, 7 for the runtime; 0 for an unknown item.
std::size_t MaxItemLength(int item);

}  // namespace kivlink
