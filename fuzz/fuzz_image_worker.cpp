// The image worker on one JPEG: the input's first bytes choose the CorrectionSettings (fuzz_inputs.h),
// the rest is the JPEG, written to a temporary file and handed to ProcessImageJob as a file job does.
// A JPEG whose header claims more than kMaxPixels, or rows wider than kMaxWidth, is skipped, so that no
// input asks for gigabytes.
// When the worker says it replaced the image, the new file must be a JPEG of the same size.

// jpeglib.h uses size_t and FILE without declaring them.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <setjmp.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "engine/batch/run_temp_dir.h"
#include "engine/pdf/file_layer.h"
#include "fuzz/fuzz_inputs.h"
#include "imaging/image_worker.h"
#include "tests/support/process_image_file.h"

namespace {

using namespace pagewash;

// Twice the 65536 pixels from which the histogram changes its counting: every path of the correction is
// reached below it (the widest window is 21 pixels), and a damaged header that claims a whole page (the
// data runs out, libjpeg fills the rest) would cost many small inputs' time.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 17;
// The median blur keeps 256 counts per column: a 65535 x 2 image zeroes 16 MB for 131070 pixels, and
// such strips, a tenth of a grown corpus, took most of the fuzzing time. Real pages are under 8000
// pixels wide; no path of the worker needs more than a few columns.
constexpr std::uint32_t kMaxWidth = 4096;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_image_worker: %s\n", what);
    std::abort();
}

struct HeaderError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void leaveHeader(j_common_ptr info) { longjmp(reinterpret_cast<HeaderError*>(info->err)->jump, 1); }

void quiet(j_common_ptr, int) {}

struct Frame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The frame size the JPEG's header states; false when libjpeg cannot read the header. One function per
// setjmp, nothing with a destructor in it.
bool readFrame(const std::uint8_t* bytes, std::size_t size, Frame& frame) {
    jpeg_decompress_struct info;
    HeaderError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leaveHeader;
    error.manager.emit_message = quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    frame.width = info.image_width;
    frame.height = info.image_height;
    jpeg_destroy_decompress(&info);
    return true;
}

const RunTempDir& tempDir() {
    static const RunTempDir& dir = fuzz::scratchFolder();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kSettingsBytes) return 0;
    const CorrectionSettings settings = fuzz::settingsFromBytes(std::span(data, fuzz::kSettingsBytes));
    const std::span<const std::uint8_t> jpeg(data + fuzz::kSettingsBytes, size - fuzz::kSettingsBytes);
    if (jpeg.empty()) return 0;
    Frame frame;
    if (!readFrame(jpeg.data(), jpeg.size(), frame)) return 0;
    if (frame.width > kMaxWidth || std::uint64_t{frame.width} * frame.height > kMaxPixels) return 0;

    const std::string name = tempDir().file("_image_000.jpg");
    {
        OutputFile file(name);
        file.write(jpeg);
        file.close();
    }
    constexpr std::int32_t kUntouched = -1;
    std::int32_t components = kUntouched;
    ProcessImageJob(name, &components, settings);
    if (components != kUntouched) {
        if (components != 1 && components != 3) fail("the worker reported neither 1 nor 3 components");
        const std::vector<std::uint8_t> edited = readWholeFile(name);
        Frame editedFrame;
        if (!readFrame(edited.data(), edited.size(), editedFrame)) fail("the re-encoded image is no JPEG");
        if (editedFrame.width != frame.width || editedFrame.height != frame.height)
            fail("the re-encoded image changed size");
    }
    removeFile(name);
    return 0;
}
