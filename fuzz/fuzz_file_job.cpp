// The file job of engine/batch/pdf_file_job.cpp on in-memory bytes, step by step in its order:
// searchPdfImages (with the JPEGs without JFIF for every third input), the temporary images,
// decideRewrite, updateStreamLengths, planXrefCorrection and writeEditedPdf.
//
// The image workers do not run: each temporary image keeps its input bytes (the path of a file whose
// images were all left as they were). So that the gray rule still rewrites dictionaries, every record
// counts as a re-encoded colour image and the colour mode is Grayscale for inputs of odd length, None
// otherwise; every fifth keeps its original whole.
//
// The edited PDF goes to memory and is checked: its length is the input's plus what the replaced ranges
// add, the bytes before the first range are the input's, and a final startxref that pointed at an
// "xref" table still does.

#include <stdio.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/batch/image_search.h"
#include "engine/batch/run_temp_dir.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/images/temp_images.h"
#include "engine/pdf/file_layer.h"
#include "engine/pdf/pdf_lexer.h"
#include "engine/xref/xref_correction.h"
#include "fuzz/fuzz_inputs.h"
#include "settings/correction_settings.h"

namespace {

using namespace pagewash;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_file_job: %s\n", what);
    std::abort();
}

// One folder for the whole fuzzing process, in memory when the system has /dev/shm.
const RunTempDir& tempDir() {
    static const RunTempDir& dir = fuzz::scratchFolder();
    return dir;
}

// The value of the last startxref that begins at or after `from`, or -1.
std::int64_t lastStartxref(ByteView bytes, std::size_t from) {
    const std::size_t keyword = findLast(bytes, "startxref", bytes.size());
    if (keyword == std::string::npos || keyword < from) return -1;
    const std::size_t digits = skipWhiteSpaceAndComments(bytes, keyword + 9);
    const std::optional<IntegerToken> value = readUnsignedInteger(bytes, digits);
    return value ? value->value : -1;
}

bool xrefAt(ByteView bytes, std::int64_t offset) {
    return offset >= 0 && offset < static_cast<std::int64_t>(bytes.size()) &&
           matchesKeyword(bytes, static_cast<std::size_t>(offset), "xref");
}

// A memory stream that the OutputFile writes through; the bytes are readable after close().
class MemoryOutput {
  public:
    MemoryOutput() : m_stream(open_memstream(&m_data, &m_size)) {
        if (m_stream == nullptr) throw std::bad_alloc();
    }
    ~MemoryOutput() {
        if (m_stream != nullptr) std::fclose(m_stream);
        std::free(m_data);
    }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;
    std::FILE* stream() { return m_stream; }
    ByteView bytes() {
        std::fflush(m_stream);
        return {reinterpret_cast<const std::uint8_t*>(m_data), m_size};
    }

  private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_stream;
};

void checkOutput(ByteView input, ByteView output, const std::vector<ReplacedRange>& replaced,
                 const std::vector<ImageRecord>& records, const XrefCorrection& xref) {
    std::int64_t expected = static_cast<std::int64_t>(input.size());
    for (const ReplacedRange& range : replaced)
        expected += range.outputLength - (range.inputEnd - range.inputBegin);
    if (static_cast<std::int64_t>(output.size()) != expected) fail("output length differs from the plan");
    const std::size_t untouched =
        replaced.empty() ? input.size() : static_cast<std::size_t>(replaced.front().inputBegin);
    if (untouched > output.size() || std::memcmp(input.data(), output.data(), untouched) != 0)
        fail("bytes before the first replaced range changed");

    if (!xref.warnings.empty() || records.empty()) return;
    const std::size_t afterImages = static_cast<std::size_t>(records.back().jpegEnd);
    const std::int64_t inputTarget = lastStartxref(input, afterImages);
    if (!xrefAt(input, inputTarget)) return;
    for (const ImageRecord& record : records) {
        if (inputTarget >= record.dictionaryOffset && inputTarget < record.jpegEnd) return;
    }
    if (!xrefAt(output, lastStartxref(output, 0))) fail("the final startxref no longer points at its table");
}

void fileJob(ByteView buffer) {
    // Every third input also takes the JPEG streams without JFIF, as --any-jpeg does.
    ImageSearch search = searchPdfImages(buffer, buffer.size() % 3 == 0);
    if (search.outcome != ImageSearch::Outcome::Found) return;
    std::vector<ImageRecord>& records = search.records;

    const TempImages tempImages(tempDir().path(), buffer, records);
    const std::int32_t colorMode =
        static_cast<std::int32_t>(buffer.size() % 2 == 1 ? ColorMode::Grayscale : ColorMode::None);
    // Every fifth image keeps its original whole, as --keep-smaller leaves a larger one.
    for (std::size_t r = 0; r < records.size(); ++r) decideRewrite(records[r], 3, r % 5 == 4, colorMode);
    updateStreamLengths(records, tempImages.names());
    const XrefCorrection xref = planXrefCorrection(buffer, plannedImageReplacements(records));

    MemoryOutput memory;
    OutputFile output("edited PDF", memory.stream());
    const std::vector<ReplacedRange> replaced =
        writeEditedPdf(output, buffer, records, tempImages.names(), xref.patches);
    output.close();
    checkOutput(buffer, memory.bytes(), replaced, records, xref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        fileJob(ByteView(data, size));
    } catch (const std::bad_alloc&) {
        // The job refuses the file; the fuzzer's memory limit is the check here.
    }
    return 0;
}
