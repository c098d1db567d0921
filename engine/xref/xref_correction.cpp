#include "engine/xref/xref_correction.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/pdf/flate_predictor.h"
#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"
#include "engine/xref/hint_stream.h"
#include "engine/xref/offset_map.h"
#include "engine/xref/xref_locator.h"
#include "engine/xref/xref_stream.h"

namespace pagewash {

namespace {

// Rounds before the planner stops letting a correction shrink again (see planRound).
constexpr int kFreeRounds = 3;
// Far more than needed: from the fourth round on, no correction ever shrinks, and each round either
// grows one or ends the planning.
constexpr int kMaxRounds = 64;

std::string zeroPadded(std::int64_t value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::vector<ReplacedRange> rangesOf(const std::vector<ByteSplice>& splices) {
    std::vector<ReplacedRange> ranges;
    ranges.reserve(splices.size());
    for (const ByteSplice& splice : splices) ranges.push_back(splice.range());
    return ranges;
}

class Planner {
  public:
    // `hints`: the hint stream of a linearized file whose tables are kept exact, or null.
    Planner(ByteView input, std::span<const ReplacedRange> imageRanges, const XrefLayout& layout,
            const HintStreamSection* hints)
        : m_input(input),
          m_imageRanges(imageRanges.begin(), imageRanges.end()),
          m_layout(layout),
          m_hints(hints) {}

    // Returns the splices, or the refusal of the round that could not plan them.
    Result<std::vector<ByteSplice>> plan(std::vector<std::string>& notes);

  private:
    // One round: every correction computed with the map of the images and `current`.
    Result<Done> planRound(const std::vector<ByteSplice>& current, int round, std::vector<ByteSplice>& next);
    // The first of `own` that overlaps an image range, or -1.
    std::int64_t firstOverlap(std::span<const ReplacedRange> own) const;
    // Adds a splice for [begin, end) unless the new bytes equal the input's. From round kFreeRounds on,
    // a splice never gets shorter than in the rounds before: `padding` makes up the difference.
    void addSplice(std::vector<ByteSplice>& splices, std::size_t begin, std::size_t end, std::string bytes,
                   int round, char padding, bool padFront);
    void addNumber(std::vector<ByteSplice>& splices, const OffsetField& field, std::int64_t value, int round);
    // The hint stream written again and /L, /H's length and the stream's own numbers with it.
    void planHints(std::vector<ByteSplice>& splices, int round);

    ByteView m_input;
    std::vector<ReplacedRange> m_imageRanges;
    const XrefLayout& m_layout;
    const HintStreamSection* m_hints;
    OffsetMap m_map;
    std::map<std::size_t, std::size_t> m_minimumLength;  // by splice begin
    std::optional<std::int64_t> m_offsetInsideImage;
};

void Planner::addSplice(std::vector<ByteSplice>& splices, std::size_t begin, std::size_t end,
                        std::string bytes, int round, char padding, bool padFront) {
    std::size_t& minimum = m_minimumLength[begin];
    if (round >= kFreeRounds && bytes.size() < minimum) {
        const std::size_t missing = minimum - bytes.size();
        bytes.insert(padFront ? bytes.begin() : bytes.end(), missing, padding);
    }
    minimum = std::max(minimum, bytes.size());
    if (bytes.size() == end - begin &&
        std::equal(bytes.begin(), bytes.end(), m_input.begin() + static_cast<std::ptrdiff_t>(begin),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
        return;
    }
    splices.push_back({static_cast<std::int64_t>(begin), static_cast<std::int64_t>(end), std::move(bytes)});
}

void Planner::addNumber(std::vector<ByteSplice>& splices, const OffsetField& field, std::int64_t value,
                        int round) {
    // Leading zeros keep a number's width (they are legal in every integer of the file), so a number
    // never shrinks and shifts nothing unless it needs a digit more.
    addSplice(splices, field.begin, field.end, zeroPadded(value, field.end - field.begin), round, '0', true);
}

std::int64_t Planner::firstOverlap(std::span<const ReplacedRange> own) const {
    // Only on the way to a refusal: one merge per correction is cheap enough there.
    std::vector<ReplacedRange> merged;
    for (const ReplacedRange& range : own) {
        if (!mergeRanges(m_imageRanges, std::span<const ReplacedRange>(&range, 1), merged))
            return range.inputBegin;
    }
    return -1;
}

Result<Done> Planner::planRound(const std::vector<ByteSplice>& current, int round,
                                std::vector<ByteSplice>& next) {
    std::vector<ReplacedRange> merged;
    const std::vector<ReplacedRange> own = rangesOf(current);
    if (!mergeRanges(m_imageRanges, own, merged)) {
        return Refusal{firstOverlap(own), "the cross-reference data overlaps an image stream"};
    }
    m_map = OffsetMap(std::move(merged));
    const auto mapOffset = [this](std::int64_t offset) {
        if (m_map.isInsideReplacement(offset) && !m_offsetInsideImage) m_offsetInsideImage = offset;
        return m_map.map(offset);
    };
    next.clear();
    for (const ClassicXrefSection& section : m_layout.classicSections) {
        for (const OffsetField& entry : section.entryOffsets) {
            const std::int64_t value = mapOffset(entry.value);
            if (value > 9'999'999'999) {
                return Refusal{static_cast<std::int64_t>(entry.begin),
                               "an offset no longer fits the ten digits of a cross-reference entry"};
            }
            addNumber(next, entry, value, round);
        }
        if (section.prev) addNumber(next, *section.prev, mapOffset(section.prev->value), round);
        if (section.xrefStream)
            addNumber(next, *section.xrefStream, mapOffset(section.xrefStream->value), round);
    }
    for (const XrefStreamSection& section : m_layout.streamSections) {
        const auto encoded = encodeXrefStream(section, mapOffset);
        if (!encoded) {
            return Refusal{static_cast<std::int64_t>(section.objectOffset),
                           "the cross-reference stream at byte " + std::to_string(section.objectOffset) +
                               " cannot hold the new offsets"};
        }
        if (section.prev) addNumber(next, *section.prev, mapOffset(section.prev->value), round);
        if (encoded->rows == section.rows) continue;  // no entry moved: the stream stays as it is
        std::string widths = "[" + std::to_string(encoded->widths[0]) + " " +
                             std::to_string(encoded->widths[1]) + " " + std::to_string(encoded->widths[2]) +
                             "]";
        if (encoded->widths[1] != section.widths[1]) {
            addSplice(next, section.widthsBegin, section.widthsEnd, std::move(widths), round, ' ', false);
            if (section.predictor.predictor != 1) {
                const std::int64_t columns =
                    section.predictor.columns + encoded->widths[1] - section.widths[1];
                addNumber(next, {section.columnsBegin, section.columnsEnd, columns, false}, columns, round);
            }
        }
        const std::string data(encoded->data.begin(), encoded->data.end());
        // /Length gives the data alone; spaces that keep the region from shrinking lie between the
        // data and "endstream", where readers skip white space.
        addNumber(next, {section.lengthBegin, section.lengthEnd, 0, false},
                  static_cast<std::int64_t>(data.size()), round);
        addSplice(next, section.dataBegin, section.dataEnd, data, round, ' ', false);
    }
    for (const OffsetField& startxref : m_layout.startxrefValues) {
        addNumber(next, startxref, mapOffset(startxref.value), round);
    }
    if (m_layout.linearization) {
        for (const OffsetField& offset : m_layout.linearization->offsets) {
            addNumber(next, offset, mapOffset(offset.value), round);
        }
    }
    if (m_hints) planHints(next, round);
    std::sort(next.begin(), next.end(),
              [](const ByteSplice& a, const ByteSplice& b) { return a.inputBegin < b.inputBegin; });
    return Done{};
}

void Planner::planHints(std::vector<ByteSplice>& splices, int round) {
    const HintStreamSection& hints = *m_hints;
    const std::int64_t newOffset = m_map.map(hints.offset);
    const std::int64_t newLength = m_map.map(hints.offset + hints.length) - newOffset;
    // The tables count locations as if the hint stream were not in the file, before and after.
    const auto mapLocation = [&](std::int64_t location) {
        const std::int64_t inFile = location >= hints.offset ? location + hints.length : location;
        const std::int64_t moved = m_map.map(inFile);
        return moved >= newOffset + newLength ? moved - newLength : moved;
    };
    std::vector<HintTablePlace> places;
    const std::vector<std::uint8_t> tables =
        writeHintTables(movedHintTables(hints.tables, mapLocation), places);
    const std::vector<std::uint8_t> data = hints.stream.flate ? deflateZlib(tables) : tables;
    const StreamObject& stream = hints.stream;
    addNumber(splices, {stream.lengthBegin, stream.lengthEnd, 0, false},
              static_cast<std::int64_t>(data.size()), round);
    // Not a structured binding: clang before 16 cannot capture one in a lambda.
    for (const auto& placeField : hints.placeFields) {
        const std::string& key = placeField.first;
        const auto place =
            std::find_if(places.begin(), places.end(), [&](const HintTablePlace& p) { return p.key == key; });
        if (place != places.end()) addNumber(splices, placeField.second, place->offset, round);
    }
    addSplice(splices, stream.dataBegin, stream.dataEnd, std::string(data.begin(), data.end()), round, ' ',
              false);
    const LinearizationFields& linearization = *m_layout.linearization;
    addNumber(splices, *linearization.hintLength, newLength, round);
    if (linearization.fileLength) {
        addNumber(splices, *linearization.fileLength,
                  m_map.outputLength(static_cast<std::int64_t>(m_input.size())), round);
    }
}

Result<std::vector<ByteSplice>> Planner::plan(std::vector<std::string>& notes) {
    std::vector<ByteSplice> current;
    std::vector<ByteSplice> next;
    for (int round = 0; round < kMaxRounds; ++round) {
        m_offsetInsideImage.reset();
        if (auto planned = planRound(current, round, next); !planned) return planned.refusal();
        // Same places and lengths: the map that computed `next` is the map `next` makes.
        const std::vector<ReplacedRange> before = rangesOf(current);
        const std::vector<ReplacedRange> after = rangesOf(next);
        current.swap(next);
        if (before == after) {
            if (m_offsetInsideImage) {
                notes.push_back("the cross-reference data gives the offset " +
                                std::to_string(*m_offsetInsideImage) +
                                ", which lies inside an image stream; it was wrong in the input already");
            }
            return current;
        }
    }
    // No one byte is at fault: the corrections as a whole keep growing.
    return Refusal{-1, "the offsets of the cross-reference data do not settle"};
}

bool changesAnyLength(std::span<const ReplacedRange> ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [](const ReplacedRange& range) {
        return range.outputLength != range.inputEnd - range.inputBegin;
    });
}

// The signature's /ByteRange outside the image streams, or npos. The ranges are sorted and apart, so one
// pass over them serves every hit, and a hit inside an image skips the rest of that image.
std::size_t findSignature(ByteView input, std::span<const ReplacedRange> imageRanges) {
    std::size_t from = 0;
    auto range = imageRanges.begin();
    while (true) {
        const std::size_t hit = findFirst(input, "/ByteRange", from, input.size());
        if (hit == std::string_view::npos) return hit;
        const auto at = static_cast<std::int64_t>(hit);
        while (range != imageRanges.end() && range->inputEnd <= at) ++range;
        if (range == imageRanges.end() || at < range->inputBegin) return hit;
        from = static_cast<std::size_t>(range->inputEnd);
    }
}

// The hint stream of a linearized file when its tables describe the file's objects closely enough
// to be rewritten exactly; nothing otherwise.
std::optional<HintStreamSection> exactHints(ByteView input, const XrefLayout& layout) {
    // Readers use the hints only while /L is the file's length; a file updated after it was
    // linearized is read as an ordinary one, and stays so.
    if (!layout.linearization || !layout.linearization->fileLength ||
        layout.linearization->fileLength->value != static_cast<std::int64_t>(input.size())) {
        return std::nullopt;
    }
    // A refusal here only means the hints are not kept; why is of no use to the caller.
    auto hints = readHintStream(input, *layout.linearization);
    if (!hints) return std::nullopt;
    std::set<std::int64_t> objectStarts;
    std::set<std::int64_t> otherEnds{static_cast<std::int64_t>(input.size())};
    for (const ClassicXrefSection& section : layout.classicSections) {
        for (const OffsetField& entry : section.entryOffsets) objectStarts.insert(entry.value);
        otherEnds.insert(static_cast<std::int64_t>(section.offset));
    }
    for (const XrefStreamSection& section : layout.streamSections) {
        for (const std::int64_t offset : inUseOffsets(section)) objectStarts.insert(offset);
        otherEnds.insert(static_cast<std::int64_t>(section.objectOffset));
    }
    if (!hintGroupsFollowObjects(*hints, objectStarts, otherEnds)) return std::nullopt;
    return std::move(*hints);
}

}  // namespace

XrefCorrection planXrefCorrection(std::span<const std::uint8_t> input,
                                  std::span<const ReplacedRange> imageRanges) {
    XrefCorrection correction;
    const std::size_t signature = findSignature(input, imageRanges);
    if (signature != std::string_view::npos) {
        correction.hasSignature = true;
        correction.warnings.push_back("the file carries a digital signature (/ByteRange at byte " +
                                      std::to_string(signature) + "), which the changed images invalidate");
    }
    if (!changesAnyLength(imageRanges)) return correction;  // every offset is still right

    const auto layout = locateXrefLayout(input);
    if (!layout) {
        correction.warnings.push_back("the cross-reference data cannot be corrected: " +
                                      layout.refusal().reason + "; readers have to rebuild it");
        return correction;
    }
    const std::optional<HintStreamSection> hints = exactHints(input, *layout);
    Planner planner(input, imageRanges, *layout, hints ? &*hints : nullptr);
    auto patches = planner.plan(correction.warnings);
    if (!patches) {
        correction.warnings.push_back("the cross-reference data cannot be corrected: " +
                                      patches.refusal().reason + "; readers have to rebuild it");
        return correction;
    }
    correction.patches = std::move(*patches);

    if (layout->linearization && !hints) {
        // The hint tables give the lengths of the pages' objects, which the new images change, and are
        // not rewritten. Readers trust them only while /L equals the file's length, so /L keeps a value
        // that differs from the new length: the file then opens as an ordinary one, without Fast Web View.
        const auto& length = layout->linearization->fileLength;
        // A file updated after it was linearized has a longer length than /L: readers did not take it
        // as linearized before either.
        if (length && length->value == static_cast<std::int64_t>(input.size())) {
            correction.warnings.emplace_back(kLinearizationLost);
        }
        std::vector<ReplacedRange> merged;
        const std::vector<ReplacedRange> own = rangesOf(correction.patches);
        mergeRanges(imageRanges, own, merged);
        const std::int64_t outputLength =
            OffsetMap(std::move(merged)).outputLength(static_cast<std::int64_t>(input.size()));
        if (length && length->value == outputLength) {
            // Same width, so no offset moves: 0 is never the length of a PDF.
            const ByteSplice zero{static_cast<std::int64_t>(length->begin),
                                  static_cast<std::int64_t>(length->end),
                                  std::string(length->end - length->begin, '0')};
            const auto at = std::lower_bound(
                correction.patches.begin(), correction.patches.end(), zero,
                [](const ByteSplice& a, const ByteSplice& b) { return a.inputBegin < b.inputBegin; });
            correction.patches.insert(at, zero);
        }
    }
    return correction;
}

}  // namespace pagewash
