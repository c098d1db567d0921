#pragma once
// One page image before and after the bleach. The "after" is made by the bleach's own image worker
// (ProcessImageJob) on a copy of the image, with the same settings, coding and memory budget as a run,
// so its bytes are the bytes the edited PDF receives; both sides are decoded with libjpeg's defaults.
// Every function is reentrant: each call has its own temporary folder and libjpeg objects.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/pdf/refusal.h"
#include "imaging/bilevel_despeckle.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_layout.h"
#include "settings/correction_settings.h"

namespace pagewash {

// How a run would treat the image besides its settings (the command line's --optimize, --progressive,
// --memory-limit; the dialog's defaults).
struct PreviewOptions {
    EntropyCoding coding = {};
    bool keepSmaller = false;     // as BatchOptions::keepSmaller
    bool keepColorPages = false;  // as BatchOptions::keepColorPages
    bool bilevel = false;         // as BatchOptions::bilevel
    bool mrc = false;             // as BatchOptions::mrc
    int despeckle = kDefaultDespeckle;
    std::uint64_t memoryBudget = 0;  // 0: the run's default, half the physical memory
    std::string temporaryRoot;       // where the private folder is made; empty: the system's
    bool decodeBefore = true;        // false: previewJpeg leaves `before` empty (when it is not shown)
};

struct BleachedJpeg {
    std::vector<std::uint8_t> bytes;  // what the bleach writes for the image
    bool changed = false;             // false: the bleach leaves the image as it is (`bytes` are the input)
    // `bytes` are Group 4 data of width x height pixels (options.bilevel found a text page), not a JPEG.
    bool bilevel = false;
    // `bytes` are the layers of mixed raster content, laid out as `layout` says (options.mrc).
    bool mixed = false;
    MixedLayout layout;
    int width = 0;
    int height = 0;
};

// The worker's round trip on a copy of `jpeg` in a private folder that is removed before the call
// returns, on every path. A refusal when the folder or the copy cannot be made or read back.
Result<BleachedJpeg> bleachJpeg(std::span<const std::uint8_t> jpeg, const CorrectionSettings& settings,
                                const PreviewOptions& options = {});

// Decodes `jpeg` from memory with libjpeg's default parameters. A refusal after a libjpeg failure.
Result<DecodedImage> decodeJpegBytes(std::span<const std::uint8_t> jpeg);

struct ImagePreview {
    DecodedImage before;  // the input bytes decoded (empty when options.decodeBefore was false)
    DecodedImage after;   // the bleach's bytes decoded (the input's pixels when !changed); a bilevel
                          // image as gray 0 and 255, mixed layers drawn, both as a reader shows them
    std::uint64_t bytesBefore = 0;
    std::uint64_t bytesAfter = 0;
    bool changed = false;
};

// Both sides of one image; the input is decoded on a second thread while the worker runs (unless
// options.decodeBefore is false).
Result<ImagePreview> previewJpeg(std::span<const std::uint8_t> jpeg, const CorrectionSettings& settings,
                                 const PreviewOptions& options = {});

// An image a screen or a PNG can show: gray and RGB are returned as they are, CMYK as libjpeg decodes
// an Adobe (inverted) CMYK JPEG is turned into RGB (R = C' * K' / 255 with C', K' the stored values).
DecodedImage displayable(DecodedImage image);

}  // namespace pagewash
