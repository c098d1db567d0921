#pragma once
// The colour levels and the tone table with the byte permutes of AVX-512 VBMI (see pixel_kernels_vbmi.cpp).
// Internal to imaging/; pixel_kernels.cpp calls it from its AVX3_DL target only.

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_kernels.h"

#if defined(__x86_64__)
namespace pagewash::kernels::vbmi {

// The arithmetic form, 64 pixels at a time; irregular rows and the tail from the map.
// REQUIRES: the processor has AVX-512 F, BW and VBMI.
void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction);

// gray[i] = table[gray[i]], 64 values at a time through four registers of the table.
// REQUIRES: the processor has AVX-512 F, BW and VBMI.
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table);

}  // namespace pagewash::kernels::vbmi
#endif
