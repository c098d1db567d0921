#pragma once
// How the fuzz targets read their inputs, shared with the seed maker (and with a regression test that
// replays a saved input, should a target ever crash): a few leading bytes choose the settings or the
// replaced ranges, the rest is the file. Header-only; plain functions of the bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/batch/run_temp_dir.h"
#include "engine/pdf/byte_splice.h"
#include "engine/pdf/file_layer.h"
#include "settings/correction_settings.h"

namespace pagewash::fuzz {

// One folder for the whole fuzzing process, in memory when /dev/shm takes it.
inline const RunTempDir& scratchFolder() {
    static const std::unique_ptr<RunTempDir> folder = [] {
        try {
            return std::make_unique<RunTempDir>("/dev/shm");
        } catch (const CFileException&) {
            return std::make_unique<RunTempDir>();
        }
    }();
    return *folder;
}

// fuzz_image_worker: nine bytes, one per value of CorrectionSettings in its order, each folded into the
// range a front end accepts; the JPEG follows.
inline constexpr std::size_t kSettingsBytes = 9;

// REQUIRES: bytes.size() >= kSettingsBytes.
inline CorrectionSettings settingsFromBytes(std::span<const std::uint8_t> bytes) {
    const auto in = [&](std::size_t i, int count) { return static_cast<std::int32_t>(bytes[i] % count); };
    CorrectionSettings settings;
    settings.colorMode = in(0, 5);
    settings.grayMode = in(1, 3);
    settings.colorBlack = in(2, kReferenceMax + 1);
    settings.colorWhite = in(3, kReferenceMax + 1);
    settings.grayBlack = in(4, kReferenceMax + 1);
    settings.grayWhite = in(5, kReferenceMax + 1);
    settings.compression = in(6, kQualityMax + 1);
    settings.blurStrength = kBlurStrengthMin + in(7, kBlurStrengthMax - kBlurStrengthMin + 1);
    settings.blurMode = in(8, 3);
    return settings;
}

// fuzz_xref: one byte for the count of replaced ranges (0..4), then four per range: where it begins
// (a 16-bit fraction of the file), how long it is (a byte, times 4) and by how much it grows (a signed
// byte, times 16). The PDF follows.
inline constexpr std::size_t kRangeHeaderBytes = 1 + 4 * 4;

// Sorted, non-overlapping ranges inside [0, fileSize), as plannedImageReplacements gives them; a range
// that would overlap the one before it is dropped. REQUIRES: header.size() >= kRangeHeaderBytes.
inline std::vector<ReplacedRange> rangesFromHeader(std::span<const std::uint8_t> header,
                                                   std::size_t fileSize) {
    std::vector<ReplacedRange> ranges;
    const std::int64_t size = static_cast<std::int64_t>(fileSize);
    const int count = header[0] % 5;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* field = header.data() + 1 + 4 * i;
        const std::int64_t begin = (std::int64_t{field[0]} | std::int64_t{field[1]} << 8) * size / 65536;
        const std::int64_t end = std::min(size, begin + 1 + std::int64_t{field[2]} * 4);
        const std::int64_t growth = std::int64_t{static_cast<std::int8_t>(field[3])} * 16;
        ranges.push_back({begin, end, std::max<std::int64_t>(0, end - begin + growth)});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const ReplacedRange& a, const ReplacedRange& b) { return a.inputBegin < b.inputBegin; });
    std::vector<ReplacedRange> kept;
    for (const ReplacedRange& range : ranges) {
        if (range.inputBegin >= range.inputEnd) continue;
        if (!kept.empty() && range.inputBegin < kept.back().inputEnd) continue;
        kept.push_back(range);
    }
    return kept;
}

}  // namespace pagewash::fuzz
