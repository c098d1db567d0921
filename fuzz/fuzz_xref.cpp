// The cross-reference readers alone: locateXrefLayout on the file, and planXrefCorrection with a few
// replaced ranges chosen by the input's first bytes (fuzz_inputs.h). Checks what the planner promises
// of its patches: sorted, non-overlapping, inside the input and outside every replaced range.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/xref/encryption.h"
#include "engine/xref/xref_correction.h"
#include "engine/xref/xref_locator.h"
#include "fuzz/fuzz_inputs.h"

namespace {

using namespace pagewash;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_xref: %s\n", what);
    std::abort();
}

void checkField(const OffsetField& field, std::size_t size) {
    if (field.begin > field.end || field.end > size) fail("an offset field lies outside the input");
}

void checkLayout(const XrefLayout& layout, std::size_t size) {
    for (const ClassicXrefSection& section : layout.classicSections) {
        for (const OffsetField& field : section.entryOffsets) checkField(field, size);
        if (section.prev) checkField(*section.prev, size);
        if (section.xrefStream) checkField(*section.xrefStream, size);
    }
    for (const XrefStreamSection& section : layout.streamSections) {
        if (section.dataBegin > section.dataEnd || section.dataEnd > size)
            fail("a cross-reference stream's data lies outside the input");
        if (section.prev) checkField(*section.prev, size);
    }
    for (const OffsetField& field : layout.startxrefValues) checkField(field, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kRangeHeaderBytes) return 0;
    const std::span<const std::uint8_t> header(data, fuzz::kRangeHeaderBytes);
    const ByteView pdf(data + fuzz::kRangeHeaderBytes, size - fuzz::kRangeHeaderBytes);
    const std::vector<ReplacedRange> ranges = fuzz::rangesFromHeader(header, pdf.size());

    (void)declaresEncryption(pdf);
    if (const Result<XrefLayout> layout = locateXrefLayout(pdf)) checkLayout(*layout, pdf.size());

    const XrefCorrection correction = planXrefCorrection(pdf, ranges);
    std::int64_t previousEnd = 0;
    for (const ByteSplice& patch : correction.patches) {
        if (patch.inputBegin < previousEnd || patch.inputEnd < patch.inputBegin)
            fail("patches are not sorted or overlap");
        if (patch.inputEnd > static_cast<std::int64_t>(pdf.size())) fail("a patch leaves the input");
        for (const ReplacedRange& range : ranges) {
            if (patch.inputBegin < range.inputEnd && range.inputBegin < patch.inputEnd)
                fail("a patch overlaps a replaced range");
        }
        previousEnd = patch.inputEnd;
    }
    return 0;
}
