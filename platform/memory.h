#pragma once
// The machine's memory. Reentrant.

#include <cstdint>

namespace pagewash::platform {

// The physical memory of the machine in bytes; 0 when the system does not say.
std::uint64_t physicalMemoryBytes();

}  // namespace pagewash::platform
