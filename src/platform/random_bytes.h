#pragma once

#include <cstddef>

namespace platform {

// Fills `data` with bytes from the system's own random source, waiting for it where it is
// not ready yet. 0, or the errno of the failure.
int fillRandom(void *data, std::size_t size);

} // namespace platform
