#include "engine/images/edited_pdf_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/images/mixed_objects.h"
#include "settings/correction_settings.h"

namespace pagewash {

namespace {

constexpr std::string_view kOpenDictionary = "<<";
constexpr std::string_view kStreamStart = ">>stream\r\n";

bool isUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The slots written for a record, whatever a caller did to count.
int lastSlot(const DictionaryTokens& tokens) {
    return std::clamp(tokens.count, 0, DictionaryTokens::kSlotCount - 1);
}

std::size_t slotLength(const DictionaryTokens& tokens, int index) {
    return static_cast<std::size_t>(
        std::clamp(tokens.lengths[static_cast<std::size_t>(index)], 0, DictionaryTokens::kSlotSize));
}

const DictionaryTokens& tokensOf(const ImageRecord& record) {
    if (!record.tokens) throw std::logic_error("an image record without its dictionary tokens");
    return *record.tokens;
}

// "/Length N" closing the entries of a bilevel image.
std::string bilevelLength(const ImageRecord& record) {
    return "/Length " + std::to_string(record.jpegLength);
}

// "/Length N" closing the entries of a mixed page's form.
std::string formLength(const ImageRecord& record) {
    return "/Length " + std::to_string(record.formContent.size());
}

// "<<", the tokens, ">>stream\r\n" and the corrected JPEG.
std::int64_t replacementLength(const ImageRecord& record) {
    if (record.rewrite == StreamRewrite::MakeMixed)
        return static_cast<std::int64_t>(kOpenDictionary.size() + record.formEntries.size() +
                                         formLength(record).size() + kStreamStart.size() +
                                         record.formContent.size());
    if (record.rewrite == StreamRewrite::MakeBilevel)
        return static_cast<std::int64_t>(kOpenDictionary.size() + record.bilevelEntries.size() +
                                         bilevelLength(record).size() + kStreamStart.size()) +
               record.jpegLength;
    const DictionaryTokens& tokens = tokensOf(record);
    std::int64_t total =
        static_cast<std::int64_t>(kOpenDictionary.size() + kStreamStart.size()) + record.jpegLength;
    for (int i = 0; i <= lastSlot(tokens); ++i) total += static_cast<std::int64_t>(slotLength(tokens, i));
    return total;
}

// One input range and what is written in its place, in input order.
struct Replacement {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    const ImageRecord* record = nullptr;  // an image, or
    const ByteSplice* patch = nullptr;    // a splice
    std::size_t recordIndex = 0;
};

void writeImage(OutputFile& output, const ImageRecord& record, const std::string& name) {
    output.write(kOpenDictionary);
    if (record.rewrite == StreamRewrite::MakeMixed) {
        // The layers themselves are appended after the file's last byte.
        output.write(record.formEntries);
        output.write(formLength(record));
        output.write(kStreamStart);
        output.write(record.formContent);
        return;
    }
    if (record.rewrite == StreamRewrite::MakeBilevel) {
        output.write(record.bilevelEntries);
        output.write(bilevelLength(record));
    } else {
        const DictionaryTokens& tokens = tokensOf(record);
        for (int i = 0; i <= lastSlot(tokens); ++i)
            output.write(std::span<const std::uint8_t>(tokens.slots[static_cast<std::size_t>(i)].data(),
                                                       slotLength(tokens, i)));
    }
    output.write(kStreamStart);
    const std::vector<std::uint8_t> jpeg = readWholeFile(name);
    // The dictionary already states the length; a file that changed since would corrupt the output.
    if (static_cast<std::int64_t>(jpeg.size()) != record.jpegLength)
        throw CFileException(name, {}, name + ": changed length after its /Length was written");
    output.write(jpeg);
}

}  // namespace

std::string editedPdfPath(const std::string& inputPath) {
    const std::size_t folderEnd = inputPath.find_last_of('/') + 1;  // 0 when there is no folder
    std::size_t end = inputPath.size();
    for (int removed = 0; removed < 4 && end > folderEnd; ++removed) {
        --end;
        while (end > folderEnd && isUtf8Continuation(inputPath[end])) --end;
    }
    return inputPath.substr(0, end) + "_edit.pdf";
}

void decideRewrite(ImageRecord& record, std::int32_t decodedComponents, bool originalKept,
                   std::int32_t colorMode) {
    if (originalKept) {
        record.rewrite = StreamRewrite::CopyInput;
    } else if (decodedComponents == 3 && turnsColorGray(static_cast<ColorMode>(colorMode))) {
        if (!record.tokens)
            throw std::logic_error("decideRewrite: an image record without its dictionary tokens");
        record.rewrite = StreamRewrite::MakeGray;
        makeDictionaryGray(*record.tokens);
    } else {
        record.rewrite = StreamRewrite::KeepColorSpace;
    }
}

void decideBilevelRewrite(ImageRecord& record, std::string entries) {
    record.rewrite = StreamRewrite::MakeBilevel;
    record.bilevelEntries = std::move(entries);
}

void decideMixedRewrite(ImageRecord& record, std::string entries, const MixedLayout& layout) {
    record.rewrite = StreamRewrite::MakeMixed;
    record.formEntries = std::move(entries);
    record.formContent = mixedFormContent(layout);
    record.mixed = layout;
}

std::vector<ReplacedRange> plannedImageReplacements(const std::vector<ImageRecord>& records) {
    std::vector<ReplacedRange> ranges;
    ranges.reserve(records.size());
    for (const ImageRecord& record : records) {
        if (record.rewrite == StreamRewrite::CopyInput) continue;
        ranges.push_back({record.dictionaryOffset, record.jpegEnd, replacementLength(record)});
    }
    return ranges;
}

std::vector<ReplacedRange> writeEditedPdf(OutputFile& output, std::span<const std::uint8_t> buffer,
                                          const std::vector<ImageRecord>& records,
                                          const std::vector<std::string>& names,
                                          std::span<const ByteSplice> patches) {
    if (names.size() < records.size()) throw std::logic_error("writeEditedPdf: a temporary name is missing");

    std::vector<Replacement> replacements;
    replacements.reserve(records.size() + patches.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        // A copied original stays among the input's bytes, untouched.
        if (records[r].rewrite == StreamRewrite::CopyInput) continue;
        replacements.push_back({records[r].dictionaryOffset, records[r].jpegEnd, &records[r], nullptr, r});
    }
    for (const ByteSplice& patch : patches)
        replacements.push_back({patch.inputBegin, patch.inputEnd, nullptr, &patch, 0});
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });

    // The ranges were checked when the file was read; a violation here is a caller's mistake, and
    // writing on would copy the wrong bytes.
    const auto size = static_cast<std::int64_t>(buffer.size());
    std::int64_t cursor = 0;
    for (const Replacement& replacement : replacements) {
        if (replacement.begin < cursor || replacement.end < replacement.begin || replacement.end > size)
            throw std::logic_error("writeEditedPdf: replaced ranges overlap or leave the input");
        cursor = replacement.end;
    }

    std::vector<ReplacedRange> written;
    written.reserve(replacements.size());
    cursor = 0;
    for (const Replacement& replacement : replacements) {
        output.write(buffer.subspan(static_cast<std::size_t>(cursor),
                                    static_cast<std::size_t>(replacement.begin - cursor)));
        if (replacement.record != nullptr) {
            const ImageRecord& record = *replacement.record;
            writeImage(output, record, names[replacement.recordIndex]);
            written.push_back({replacement.begin, replacement.end, replacementLength(record)});
        } else {
            output.write(replacement.patch->bytes);
            written.push_back(replacement.patch->range());
        }
        cursor = replacement.end;
    }
    output.write(buffer.subspan(static_cast<std::size_t>(cursor)));
    return written;
}

}  // namespace pagewash
