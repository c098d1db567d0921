#include "engine/images/image_ranges.h"

#include <algorithm>

namespace pagewash {

void sortImageRecords(std::vector<ImageRecord>& records) {
    // Same result as the exchange sort that swaps only on "strictly greater": stable by jpegOffset.
    std::stable_sort(records.begin(), records.end(),
                     [](const ImageRecord& a, const ImageRecord& b) { return a.jpegOffset < b.jpegOffset; });
}

Result<Done> checkImageRanges(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records) {
    const auto size = static_cast<std::int64_t>(buffer.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ImageRecord& record = records[i];
        if (record.dictionaryOffset < 0 || record.dictionaryOffset >= record.jpegOffset)
            return Refusal{record.jpegOffset, "JPEG has no stream dictionary before it"};
        if (record.jpegEnd < record.jpegOffset || record.jpegEnd > size)
            return Refusal{record.dictionaryOffset, "image runs past the end of the file"};
        if (i > 0 && records[i - 1].jpegEnd > record.dictionaryOffset)
            return Refusal{record.dictionaryOffset, "image overlaps the image before it"};
    }
    return Done{};
}

}  // namespace pagewash
