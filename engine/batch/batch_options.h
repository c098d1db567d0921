#pragma once
// How a batch run behaves where the dialog and the command line differ. A plain value, copied freely.

#include <cstdint>
#include <string>

#include "imaging/bilevel_despeckle.h"
#include "imaging/jpeg_codec.h"

namespace pagewash {

struct BatchOptions {
    int workerStartPauseMs = 300;  // pause after the 1st, 5th, 9th ... worker start (0 on the command line)
    int finalPauseMs = 1000;       // pause after the last file
    int maxConcurrentDecodes = 0;  // images decoded at once; 0: the hardware threads
    // The bytes the images decoded at once may hold together; 0: half the physical memory. An image
    // that needs more than all of it is left as it is, with a warning.
    std::uint64_t memoryBudget = 0;
    EntropyCoding coding = {};  // optimized or progressive coding of the re-encoded images
    std::string temporaryRoot;  // where the run's private folder is made; empty: the system's
    // true (the dialog): an input that cannot be opened is shown in an error box and ends the run.
    // false (the command line): it is reported as a refused file and the next file follows.
    bool endRunOnUnopenableInput = true;
    // The command line's choices; the dialog keeps all three off.
    // Also the JPEG image streams without JFIF (Exif, Adobe, bare JPEGs): see findOtherJpegStreams.
    bool anyJpeg = false;
    // An image whose new JPEG is larger than its original keeps its bytes and its dictionary.
    bool keepSmaller = false;
    // In the yellowing-removal and grayscale modes, an image with real colour keeps it (color_content.h).
    bool keepColorPages = false;
    // Text pages become 1-bit Group 4 images, specks of at most `despeckle` pixels removed
    // (ImageJob::bilevel).
    bool bilevel = false;
    int despeckle = kDefaultDespeckle;
    // Pages of text over something else (and plain text pages, unless `bilevel` takes them) become
    // mixed raster content: a Group 4 text mask over a small background (ImageJob::mrc).
    bool mrc = false;
};

}  // namespace pagewash
