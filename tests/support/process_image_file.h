#pragma once
// The image worker's round trip on one file, given only the settings and perhaps a gate: the call the
// tests, the benchmarks and the fuzzers make. Header-only, so that the benchmarks and the fuzzers need no
// test library.

#include <cstdint>
#include <string>

#include "imaging/image_worker.h"

namespace pagewash {

// ProcessImageJob on a job of its own (no completion count, default coding, no options).
inline void ProcessImageJob(const std::string& tempFileName, std::int32_t* componentsOut,
                            const CorrectionSettings& settings, DecodeGate* gate = nullptr) {
    ProcessImageJob(ImageJob{tempFileName, componentsOut, &settings, nullptr, gate});
}

}  // namespace pagewash
