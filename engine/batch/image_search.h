#pragma once
// The images of a PDF held in memory, found and checked as a run finds them before it copies them out:
// the %PDF signature, encryption, the JFIF stream search (and, when asked, the other JPEG streams),
// the dictionaries with their /Length, file order and the ranges. The one sequence that the file job,
// the preview and the fuzzer share. Pure function of the bytes; any thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/refusal.h"

namespace pagewash {

struct ImageSearch {
    enum class Outcome { Found, NotPdf, NoJpeg, Refused } outcome = Outcome::NoJpeg;
    std::vector<ImageRecord> records;  // Found: in file order, dictionaries read, ranges checked
    int otherJpegsLeft = 0;            // JPEG streams without JFIF that were not asked for
    Refusal refusal;                   // Refused: where and why ("encrypted: its images cannot be read")
};

// `anyJpeg`: the JPEG streams without the JFIF signature are bleached too (see other_jpeg_search.h).
ImageSearch searchPdfImages(std::span<const std::uint8_t> buffer, bool anyJpeg);

}  // namespace pagewash
