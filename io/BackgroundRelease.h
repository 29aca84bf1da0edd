#pragma once

#include <string>

namespace ravelle {

// Hands a large buffer to a thread of its own to be freed, so that the work
// that held it ends at once: giving a gigabyte back to the system takes a
// fifth of a second, too long for a cancel to wait. A small buffer is freed
// on the spot. Everything handed over is freed by the time the program ends.
void releaseInBackground(std::string&& buffer);

} // namespace ravelle
