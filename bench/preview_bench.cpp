// The preview of one A4 page at 300 dpi (2480 x 3508) beside the image job it stands for: the job's
// decoding, correction and encoding, then the decoding of its result. The preview's promise is at most
// 1.5 times the job's time. The page is the scanned page of tests/data scaled to size, quality 90, or the
// JPEG given with --page.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_page.h"
#include "engine/batch/run_temp_dir.h"
#include "imaging/image_worker.h"
#include "imaging/jpeg_codec.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "preview/image_preview.h"
#include "tests/support/process_image_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pagewash;

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::vector<std::uint8_t> bytes(fs::file_size(path));
    std::error_code error;
    std::FILE* file = platform::openForReading(platform::utf8FromPath(path), error).release();
    if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
    return bytes;
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::error_code error;
    std::FILE* file = platform::openForWriting(platform::utf8FromPath(path), error).release();
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

// The colour page as JPEG bytes, made once, or the given page.
const std::vector<std::uint8_t>& pageJpeg() {
    static const std::vector<std::uint8_t> bytes = [] {
        if (!bench::givenPage().empty()) return readFile(bench::givenPage());
        const Result<DecodedImage> source =
            decodeJpegBytes(readFile(PAGEWASH_TEST_DATA_DIR "/pikepdf_congress_im0.jpg"));
        if (!source || source->components != 3) std::abort();
        std::vector<std::uint8_t> page(static_cast<std::size_t>(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const std::size_t from =
                    (static_cast<std::size_t>(y * source->height / kHeight) * source->width +
                     static_cast<std::size_t>(x * source->width / kWidth)) *
                    3;
                for (std::size_t c = 0; c < 3; ++c)
                    page[(static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)) * 3 + c] =
                        source->pixels[from + c];
            }
        }
        const RunTempDir folder;
        const std::string jpeg = folder.file("page.jpg");
        std::error_code error;
        platform::StdioFile file = platform::openForWriting(jpeg, error);
        if (!file || !encodeJpeg(file.get(), page.data(), kWidth, kHeight, 3, 90)) std::abort();
        file.reset();
        return readFile(platform::pathFromUtf8(jpeg));
    }();
    return bytes;
}

CorrectionSettings settingsFor(int blur) {
    CorrectionSettings settings;  // the dialog's defaults: yellowing removal, automatic gray levels
    settings.blurMode = blur;
    return settings;
}

void setRate(benchmark::State& state) {
    static const double pixels = [] {
        const Result<DecodedImage> page = decodeJpegBytes(pageJpeg());
        return page ? static_cast<double>(page->width) * page->height : 0.0;
    }();
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

// What the preview is measured against: the worker's round trip, then its result decoded again.
void BM_ImageJobAndDecode(benchmark::State& state) {
    const CorrectionSettings settings = settingsFor(static_cast<int>(state.range(0)));
    const RunTempDir folder;
    const fs::path file = folder.file("page.jpg");
    for (auto _ : state) {
        state.PauseTiming();
        writeFile(file, pageJpeg());
        state.ResumeTiming();
        std::int32_t components = 0;
        ProcessImageJob(platform::utf8FromPath(file), &components, settings);
        const Result<DecodedImage> after = decodeJpegBytes(readFile(file));
        if (components == 0 || !after) state.SkipWithError("the job failed");
        benchmark::DoNotOptimize(after->pixels.get());
    }
    setRate(state);
}

// The result alone (the command line's PNG, the dialog after a change of settings), or with the
// original decoded beside it (--side-by-side, the dialog's first look at an image).
void preview(benchmark::State& state, bool decodeBefore) {
    const CorrectionSettings settings = settingsFor(static_cast<int>(state.range(0)));
    PreviewOptions options;
    options.decodeBefore = decodeBefore;
    for (auto _ : state) {
        const Result<ImagePreview> preview = previewJpeg(pageJpeg(), settings, options);
        if (!preview || !preview->changed) state.SkipWithError("the preview failed");
        benchmark::DoNotOptimize(preview->after.pixels.get());
    }
    setRate(state);
}

// Argument: the blur mode (0 none, 1 average, 2 median).
BENCHMARK(BM_ImageJobAndDecode)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(preview, BM_Preview, false)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(preview, BM_PreviewSideBySide, true)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
