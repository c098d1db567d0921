// Speed of the image correction on an A4 page at 300 dpi (2480 x 3508), colour and gray, in Mpixel/s.
// The page is made from the photographed book page of tests/data, scaled to size and encoded at quality 90.
// Compare every figure with BM_Decode of the same page in the same run.
// --page FILE.jpg runs every benchmark on that page instead (a colour page: its gray form, encoded at
// quality 90, is the gray page; a gray page: the colour benchmarks are skipped).
// --target=NAME runs every kernel at that Highway target (AVX2, SSE4, ...) instead of the widest this
// processor has; --target=list names the targets this processor runs.

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_page.h"
#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/blur.h"
#include "imaging/color_content.h"
#include "imaging/group4_codec.h"
#include "imaging/image_worker.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_background.h"
#include "imaging/mixed_ink.h"
#include "imaging/mixed_picture_tiles.h"
#include "imaging/quarter_color_image.h"
#include "imaging/text_page_measure.h"
#include "imaging/tone_correction.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "tests/support/process_image_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pagewash;

constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;

struct Page {
    DecodedImage image;  // the decoded page as the worker sees it
    fs::path jpeg;       // the page encoded at quality 90
};

struct Pages {
    platform::FolderHold folderHold;
    fs::path folder;
    Page color;  // no pixels when the given page is gray
    Page gray;
    std::int64_t pixels = 0;  // of either page
};

Pages& pages();

void setRate(benchmark::State& state) {
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(pages().pixels) * 1e-6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

bool writeJpeg(const fs::path& path, const DecodedImage& image, int quality, EntropyCoding coding = {}) {
    std::error_code error;
    std::FILE* file = platform::openForWriting(platform::utf8FromPath(path), error).release();
    if (file == nullptr) return false;
    const bool ok =
        encodeJpeg(file, image.pixels.get(), image.width, image.height, image.components, quality, coding);
    return std::fclose(file) == 0 && ok;
}

bool readJpeg(const fs::path& path, DecodedImage& image) {
    std::error_code error;
    std::FILE* file = platform::openForReading(platform::utf8FromPath(path), error).release();
    if (file == nullptr) return false;
    const bool ok = decodeJpeg(file, image);
    std::fclose(file);
    return ok;
}

bool g_pagesMade = false;  // so that a filtered run that made no page removes nothing

// The colour page of tests/data's photographed book page, scaled to A4 at 300 dpi.
DecodedImage madeColorPage() {
    DecodedImage source;
    if (!readJpeg(fs::path(PAGEWASH_TEST_DATA_DIR) / "pagedewarp_linguistics_thesis_a_900.jpg", source) ||
        source.components != 3) {
        std::fprintf(stderr,
                     "cannot read " PAGEWASH_TEST_DATA_DIR "/pagedewarp_linguistics_thesis_a_900.jpg\n");
        std::abort();
    }
    DecodedImage color;
    color.width = kPageWidth;
    color.height = kPageHeight;
    color.components = 3;
    color.pixels = std::make_unique<std::uint8_t[]>(color.size());
    for (int y = 0; y < kPageHeight; ++y) {
        const std::size_t sy =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(source.height) / kPageHeight;
        for (int x = 0; x < kPageWidth; ++x) {
            const std::size_t sx =
                static_cast<std::size_t>(x) * static_cast<std::size_t>(source.width) / kPageWidth;
            std::memcpy(color.pixels.get() +
                            (static_cast<std::size_t>(y) * kPageWidth + static_cast<std::size_t>(x)) * 3,
                        source.pixels.get() + (sy * static_cast<std::size_t>(source.width) + sx) * 3, 3);
        }
    }
    return color;
}

// The gray form of a colour page, as the grayscale mode without levels makes it.
DecodedImage grayOf(const DecodedImage& color) {
    DecodedImage gray;
    gray.width = color.width;
    gray.height = color.height;
    gray.components = 1;
    gray.pixels = std::make_unique<std::uint8_t[]>(gray.size());
    CorrectionSettings toGray;
    toGray.colorMode = static_cast<std::int32_t>(ColorMode::Grayscale);
    toGray.grayMode = static_cast<std::int32_t>(GrayMode::None);
    CorrectTones(gray.pixels.get(), toGray, color.pixels.get(), std::int64_t{color.width} * color.height, 3);
    return gray;
}

Pages& pages() {
    static Pages made = [] {
        g_pagesMade = true;
        Pages p;
        std::error_code error;
        p.folder = platform::pathFromUtf8(platform::makePrivateFolder(platform::systemTemporaryFolder(),
                                                                      "pagewash-bench", p.folderHold, error));
        if (p.folder.empty()) std::abort();
        p.color.jpeg = p.folder / "color.jpg";
        p.gray.jpeg = p.folder / "gray.jpg";
        const std::string& given = bench::givenPage();
        DecodedImage color;
        if (!given.empty()) {
            DecodedImage image;
            if (!readJpeg(given, image) || (image.components != 1 && image.components != 3)) {
                std::fprintf(stderr, "cannot read %s as a gray or colour JPEG\n", given.c_str());
                std::abort();
            }
            p.pixels = std::int64_t{image.width} * image.height;
            if (image.components == 1) {
                p.gray.jpeg = given;
                p.gray.image = std::move(image);
                return p;
            }
            p.color.jpeg = given;
            p.color.image = std::move(image);
            const DecodedImage gray = grayOf(p.color.image);
            if (!writeJpeg(p.gray.jpeg, gray, 90) || !readJpeg(p.gray.jpeg, p.gray.image)) std::abort();
            return p;
        }
        color = madeColorPage();
        p.pixels = std::int64_t{color.width} * color.height;
        const DecodedImage gray = grayOf(color);
        if (!writeJpeg(p.color.jpeg, color, 90) || !writeJpeg(p.gray.jpeg, gray, 90) ||
            !readJpeg(p.color.jpeg, p.color.image) || !readJpeg(p.gray.jpeg, p.gray.image)) {
            std::abort();
        }
        return p;
    }();
    return made;
}

Page& page(bool color) { return color ? pages().color : pages().gray; }

// False, with the benchmark skipped, when the given page is gray and a colour one is asked for.
bool hasPage(benchmark::State& state, bool color) {
    if (page(color).image.pixels) return true;
    state.SkipWithError("the given page is gray");
    return false;
}

void decode(benchmark::State& state, bool color) {
    if (!hasPage(state, color)) return;
    const fs::path jpeg = page(color).jpeg;
    for (auto _ : state) {
        DecodedImage image;
        if (!readJpeg(jpeg, image)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.pixels.get());
    }
    setRate(state);
}

// The encode at the default quality; `coding` adds optimized tables or progressive scans, whose cost is
// the second pass over the coefficients. The counter is the size of the result.
void encode(benchmark::State& state, bool color, EntropyCoding coding) {
    if (!hasPage(state, color)) return;
    const DecodedImage& image = page(color).image;
    const fs::path out = pages().folder / "encoded.jpg";
    for (auto _ : state) {
        if (!writeJpeg(out, image, 40, coding)) state.SkipWithError("encode failed");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(out));
    setRate(state);
}

void correctTones(benchmark::State& state, bool color, CorrectionSettings settings) {
    if (!hasPage(state, color)) return;
    const DecodedImage& image = page(color).image;
    DecodedImage work = image.copy();
    const std::int64_t pixels = pages().pixels;
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(pixels));
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.pixels.get(), image.pixels.get(), image.size());
        state.ResumeTiming();
        if (color) {
            CorrectTones(gray.data(), settings, work.pixels.get(), pixels, 3);
        } else {
            CorrectTones(work.pixels.get(), settings, nullptr, pixels, 1);
        }
        benchmark::ClobberMemory();
    }
    setRate(state);
}

void applyBlur(benchmark::State& state, bool color, BlurMode mode, int strength) {
    if (!hasPage(state, color)) return;
    const DecodedImage& image = page(color).image;
    DecodedImage work = image.copy();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.pixels.get(), image.pixels.get(), image.size());
        state.ResumeTiming();
        ApplyBlur(work.pixels.get(), work.width, work.height, work.components, strength, mode);
        benchmark::ClobberMemory();
    }
    setRate(state);
}

// The whole job at the default settings; `bilevel` with --bilevel, which stores the page (a text page)
// in black and white.
void processImageJob(benchmark::State& state, bool color, bool bilevel) {
    if (!hasPage(state, color)) return;
    const fs::path source = page(color).jpeg;
    const fs::path file = pages().folder / "_image_000.jpg";
    const CorrectionSettings defaults;
    for (auto _ : state) {
        state.PauseTiming();
        // Removed first: MinGW's libstdc++ takes every existing file for the source itself and refuses
        // to overwrite it.
        fs::remove(file);
        fs::copy_file(source, file);
        state.ResumeTiming();
        std::int32_t components = 0;
        ImageJob job{platform::utf8FromPath(file), &components, &defaults, nullptr};
        job.bilevel = bilevel;
        ProcessImageJob(job);
        if (components != (color && !bilevel ? 3 : 1)) state.SkipWithError("the job failed");
    }
    setRate(state);
}

// The colour measure --bilevel takes of a colour page before it may become a text page.
void colorMeasure(benchmark::State& state) {
    if (!hasPage(state, true)) return;
    std::error_code error;
    platform::StdioFile file = platform::openForReading(platform::utf8FromPath(page(true).jpeg), error);
    if (!file) return state.SkipWithError("cannot open the page");
    for (auto _ : state) {
        std::rewind(file.get());
        ColorContent content;
        if (!measureColorContent(file.get(), content)) state.SkipWithError("the measure failed");
        benchmark::DoNotOptimize(content.pixels);
    }
    setRate(state);
}

// The colour measure as --bilevel takes it of a colour page: the decoded rows reduced four times as they go
// by, then measured. The rows come from memory here, where the decoding hands them over in the cache.
void colorMeasureOfRows(benchmark::State& state) {
    if (!hasPage(state, true)) return;
    const DecodedImage& image = page(true).image;
    const auto rowBytes = static_cast<std::size_t>(image.width) * 3;
    for (auto _ : state) {
        QuarterColorImage quarter;
        quarter.begin(image.width, image.height);
        for (int y = 0; y < image.height; ++y) quarter.addRow(image.pixels.get() + y * rowBytes, y);
        ColorContent content;
        measureColorContent(quarter.pixels(), quarter.count(), content);
        benchmark::DoNotOptimize(content.pixels);
    }
    setRate(state);
}

// The steps --bilevel adds to a text page, on the gray page: the text-page measure, Sauvola's threshold,
// the removal of specks and the Group 4 coding, one at a time.
enum class BilevelStep { Measure, Sauvola, Despeckle, Group4 };

void bilevelStep(benchmark::State& state, BilevelStep step) {
    const DecodedImage& image = page(false).image;
    const auto width = static_cast<std::size_t>(image.width);
    BilevelImage bits;
    binarizeSauvola(image.pixels.get(), image.width, image.height, width,
                    sauvolaParametersForDpi(estimatedDpi(image.width, image.height)), bits);
    for (auto _ : state) {
        switch (step) {
            case BilevelStep::Measure:
                benchmark::DoNotOptimize(measureTone(image.pixels.get(), image.width, image.height, width));
                break;
            case BilevelStep::Sauvola:
                binarizeSauvola(image.pixels.get(), image.width, image.height, width,
                                sauvolaParametersForDpi(estimatedDpi(image.width, image.height)), bits);
                break;
            case BilevelStep::Despeckle: {
                BilevelImage copy = bits;
                despeckle(copy, kDefaultDespeckle);
                benchmark::DoNotOptimize(copy.bits.data());
                break;
            }
            case BilevelStep::Group4:
                benchmark::DoNotOptimize(encodeGroup4(bits));
                break;
        }
    }
    setRate(state);
}

// The steps --mrc adds to the binarized page (BM_Bilevel) for its layers, one at a time: the picture tiles,
// the background reduced around the ink, and the ink's colours (on the colour page).
enum class MixedStep { Pictures, Background, Ink };

void mixedStep(benchmark::State& state, MixedStep step) {
    const DecodedImage& gray = page(false).image;
    const DecodedImage& image = step == MixedStep::Ink && page(true).image.pixels ? page(true).image : gray;
    const auto width = static_cast<std::size_t>(gray.width);
    BilevelImage bits;
    binarizeSauvola(gray.pixels.get(), gray.width, gray.height, width,
                    sauvolaParametersForDpi(estimatedDpi(gray.width, gray.height)), bits);
    despeckle(bits, kDefaultDespeckle);
    const int factor = backgroundFactor(gray.width, gray.height);
    for (auto _ : state) {
        switch (step) {
            case MixedStep::Pictures:
                benchmark::DoNotOptimize(
                    findPictureTiles(gray.pixels.get(), gray.width, gray.height, width, bits));
                break;
            case MixedStep::Background:
                benchmark::DoNotOptimize(
                    reduceAroundInk(gray.pixels.get(), gray.width, gray.height, 1, bits, factor));
                break;
            case MixedStep::Ink:
                benchmark::DoNotOptimize(measureInk(image.pixels.get(), image.components, bits, 2 * factor));
                break;
        }
    }
    setRate(state);
}

CorrectionSettings modes(ColorMode color, GrayMode gray) {
    CorrectionSettings settings;
    settings.colorMode = static_cast<std::int32_t>(color);
    settings.grayMode = static_cast<std::int32_t>(gray);
    return settings;
}

void registerAll() {
    auto unit = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond); };
    for (bool color : {true, false}) {
        const std::string kind = color ? "color" : "gray";
        unit(benchmark::RegisterBenchmark(("BM_Decode/" + kind).c_str(), decode, color));
        unit(benchmark::RegisterBenchmark(("BM_Encode/" + kind).c_str(), encode, color, EntropyCoding{}));
        unit(benchmark::RegisterBenchmark(("BM_Encode/" + kind + "/optimize").c_str(), encode, color,
                                          EntropyCoding{true, false}));
        unit(benchmark::RegisterBenchmark(("BM_Encode/" + kind + "/progressive").c_str(), encode, color,
                                          EntropyCoding{false, true}));
    }
    const std::pair<const char*, CorrectionSettings> colorModes[] = {
        {"auto", modes(ColorMode::Auto, GrayMode::None)},
        {"yellowing", modes(ColorMode::YellowingRemoval, GrayMode::Auto)},
        {"grayscale", modes(ColorMode::Grayscale, GrayMode::None)},
        {"grayscale+auto", modes(ColorMode::Grayscale, GrayMode::Auto)},
        {"manual", modes(ColorMode::Manual, GrayMode::None)},
    };
    for (const auto& [name, settings] : colorModes) {
        unit(benchmark::RegisterBenchmark((std::string("BM_CorrectTones/color/") + name).c_str(),
                                          correctTones, true, settings));
    }
    unit(benchmark::RegisterBenchmark("BM_CorrectTones/gray/auto", correctTones, false,
                                      modes(ColorMode::None, GrayMode::Auto)));
    unit(benchmark::RegisterBenchmark("BM_CorrectTones/gray/manual", correctTones, false,
                                      modes(ColorMode::None, GrayMode::Manual)));
    for (int strength : {1, 5, 10}) {
        for (bool color : {true, false}) {
            const std::string kind = color ? "color/" : "gray/";
            unit(benchmark::RegisterBenchmark(
                ("BM_ApplyBlurAverage/" + kind + std::to_string(strength)).c_str(), applyBlur, color,
                BlurMode::Average, strength));
        }
        unit(benchmark::RegisterBenchmark(("BM_ApplyBlurMedian/gray/" + std::to_string(strength)).c_str(),
                                          applyBlur, false, BlurMode::Median, strength));
    }
    const std::pair<const char*, BilevelStep> bilevelSteps[] = {{"measure", BilevelStep::Measure},
                                                                {"sauvola", BilevelStep::Sauvola},
                                                                {"despeckle", BilevelStep::Despeckle},
                                                                {"group4", BilevelStep::Group4}};
    for (const auto& [name, step] : bilevelSteps)
        unit(benchmark::RegisterBenchmark((std::string("BM_Bilevel/") + name).c_str(), bilevelStep, step));
    unit(benchmark::RegisterBenchmark("BM_Bilevel/color-measure", colorMeasure));
    unit(benchmark::RegisterBenchmark("BM_Bilevel/color-measure-of-rows", colorMeasureOfRows));
    const std::pair<const char*, MixedStep> mixedSteps[] = {
        {"pictures", MixedStep::Pictures}, {"background", MixedStep::Background}, {"ink", MixedStep::Ink}};
    for (const auto& [name, step] : mixedSteps)
        unit(benchmark::RegisterBenchmark((std::string("BM_Mixed/") + name).c_str(), mixedStep, step));
    for (bool bilevel : {false, true}) {
        for (bool color : {true, false}) {
            const std::string name =
                std::string("BM_ProcessImageJob/") + (color ? "color" : "gray") + (bilevel ? "/bilevel" : "");
            unit(benchmark::RegisterBenchmark(name.c_str(), processImageJob, color, bilevel));
        }
    }
}

// Takes --target=NAME out of the arguments and holds Highway's dispatch to that target. False when the
// processor runs no target of that name.
bool chooseTarget(int& argc, char** argv) {
    const std::string flag = "--target=";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(flag, 0) != 0) continue;
        const std::string wanted = argument.substr(flag.size());
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
            if (wanted == "list") std::printf("%s\n", hwy::TargetName(target));
            if (wanted != hwy::TargetName(target)) continue;
            hwy::SetSupportedTargetsForTest(target);
            benchmark::AddCustomContext("target", wanted);
            return true;
        }
        if (wanted != "list") std::fprintf(stderr, "this processor runs no target %s\n", wanted.c_str());
        return false;
    }
    return true;
}

// Takes --page FILE (or --page=FILE) out of the arguments into bench::givenPage(). False when the name is
// missing or no file.
bool choosePage(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        int taken = 0;
        if (argument == "--page" && i + 1 < argc) {
            bench::givenPage() = argv[i + 1];
            taken = 2;
        } else if (argument.rfind("--page=", 0) == 0) {
            bench::givenPage() = argument.substr(7);
            taken = 1;
        } else if (argument == "--page") {
            std::fprintf(stderr, "--page needs a JPEG file\n");
            return false;
        } else {
            continue;
        }
        std::copy(argv + i + taken, argv + argc, argv + i);
        argc -= taken;
        std::error_code error;
        if (!fs::is_regular_file(bench::givenPage(), error)) {
            std::fprintf(stderr, "no file %s\n", bench::givenPage().c_str());
            return false;
        }
        return true;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!choosePage(argc, argv) || !chooseTarget(argc, argv)) return 1;
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_pagesMade) {
        pages().folderHold.release();  // Windows removes no held folder
        fs::remove_all(pages().folder);
    }
    return 0;
}
