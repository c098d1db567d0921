#include "engine/batch/mixed_update.h"

#include "engine/pdf/file_layer.h"
#include "engine/xref/offset_map.h"

namespace pagewash {

std::vector<MixedNumbers> mixedNumbers(const std::vector<ImageRecord>& records, std::int64_t firstNumber) {
    std::vector<MixedNumbers> numbers(records.size());
    std::int64_t next = firstNumber;
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (records[r].rewrite != StreamRewrite::MakeMixed) continue;
        const MixedLayout& layout = records[r].mixed;
        const bool inkImage = layout.inkLength > 0;
        numbers[r] = {next, next + 1, inkImage ? next + 2 : 0, {}};
        next += inkImage ? 3 : 2;
        for (int i = 0; i < layout.pictureCount && i < kMaxPictures; ++i)
            numbers[r].pictures[static_cast<std::size_t>(i)] = next++;
    }
    return numbers;
}

std::string mixedUpdate(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records,
                        const std::vector<std::string>& names, std::span<const ReplacedRange> written,
                        const LastXrefSection& lastSection) {
    const std::vector<MixedNumbers> numbers = mixedNumbers(records, lastSection.size);
    std::vector<std::string> bodies;
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (records[r].rewrite != StreamRewrite::MakeMixed) continue;
        for (std::string& body : mixedObjectBodies(records[r].mixed, readWholeFile(names[r]), numbers[r]))
            bodies.push_back(std::move(body));
    }
    if (bodies.empty()) return {};
    const OffsetMap map(std::vector<ReplacedRange>(written.begin(), written.end()));
    const auto inputLength = static_cast<std::int64_t>(buffer.size());
    // A replacement at the very end leaves the last byte unknown here: a line end is then added anyway.
    const bool endReplaced = !written.empty() && written.back().inputEnd == inputLength;
    const std::uint8_t lastByte = buffer.empty() || endReplaced ? 0 : buffer.back();
    return updateSection(lastSection, map.map(lastSection.offset), map.outputLength(inputLength), lastByte,
                         bodies);
}

}  // namespace pagewash
