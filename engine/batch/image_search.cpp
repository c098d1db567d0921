#include "engine/batch/image_search.h"

#include <iterator>
#include <utility>

#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/other_jpeg_search.h"
#include "engine/xref/encryption.h"

namespace pagewash {

ImageSearch searchPdfImages(std::span<const std::uint8_t> buffer, bool anyJpeg) {
    using Outcome = ImageSearch::Outcome;
    ImageSearch search;
    const auto refuse = [&search](Refusal refusal) {
        search.outcome = Outcome::Refused;
        search.refusal = std::move(refusal);
        search.records.clear();
        return std::move(search);
    };
    if (!isPdf(buffer)) {
        search.outcome = Outcome::NotPdf;
        return search;
    }
    // Its streams are ciphertext: no image could be found or corrected, and saying nothing would pass
    // the file over as if it had none.
    if (declaresEncryption(buffer)) return refuse({-1, "encrypted: its images cannot be read"});
    search.records = findJpegStreams(buffer);
    std::vector<ImageRecord> others = findOtherJpegStreams(buffer, search.records);
    if (anyJpeg) {
        std::move(others.begin(), others.end(), std::back_inserter(search.records));
    } else {
        search.otherJpegsLeft = static_cast<int>(others.size());
    }
    if (search.records.empty()) return search;  // NoJpeg

    if (Result<Done> read = readImageDictionaries(buffer, search.records); !read)
        return refuse(read.refusal());
    sortImageRecords(search.records);
    if (Result<Done> ranges = checkImageRanges(buffer, search.records); !ranges)
        return refuse(ranges.refusal());
    search.outcome = Outcome::Found;
    return search;
}

}  // namespace pagewash
