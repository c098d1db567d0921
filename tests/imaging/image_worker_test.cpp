#include "imaging/image_worker.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "tests/imaging/reference_correction.h"

namespace pagewash {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An independent decoding and encoding through libjpeg's standard calls, for JPEGs that decode.
struct Raster {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> pixels;
};

Raster decode(const Bytes& jpeg, J_COLOR_SPACE space = JCS_UNKNOWN) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    if (space != JCS_UNKNOWN) cinfo.out_color_space = space;
    jpeg_start_decompress(&cinfo);
    Raster raster{static_cast<int>(cinfo.output_width),
                  static_cast<int>(cinfo.output_height),
                  cinfo.output_components,
                  {}};
    const std::size_t stride = cinfo.output_width * static_cast<std::size_t>(cinfo.output_components);
    raster.pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = raster.pixels.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return raster;
}

Bytes encode(const Raster& raster, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(raster.width);
    cinfo.image_height = static_cast<JDIMENSION>(raster.height);
    cinfo.input_components = raster.components;
    cinfo.in_color_space = raster.components == 1   ? JCS_GRAYSCALE
                           : raster.components == 3 ? JCS_RGB
                                                    : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride =
        static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto row = const_cast<JSAMPROW>(raster.pixels.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// What the worker must write: decoding, reference correction and blur, encoding (quality 0 acting as 1).
Bytes expectedOutput(const Bytes& input, const CorrectionSettings& settings) {
    Raster raster = decode(input);
    const std::int64_t n = std::int64_t{raster.width} * raster.height;
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(n));
    if (raster.components == 1) gray.swap(raster.pixels);
    reference::correctTones(gray.data(), settings, raster.components == 3 ? raster.pixels.data() : nullptr, n,
                            raster.components);
    if (raster.components == 1 || settings.colorMode == 2 || settings.colorMode == 3) {
        raster.pixels = std::move(gray);
        raster.components = 1;
    }
    reference::applyBlur(raster.pixels.data(), raster.width, raster.height, raster.components,
                         settings.blurStrength, settings.blur());
    return encode(raster, std::max(settings.compression, 1));
}

class ImageWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pagewash-imaging-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // The files in the folder: temporary partial files must not stay behind.
    long fileCount() const { return std::distance(fs::directory_iterator(m_dir), {}); }

    fs::path m_dir;
    const Bytes m_color = readBytes(fs::path(PAGEWASH_TEST_DATA_DIR) / "pikepdf_congress_im0.jpg");
};

TEST_F(ImageWorkerTest, ImagesComeBackAsTheReferenceCorrectionEncodesOrKeepTheirBytes) {
    ASSERT_FALSE(m_color.empty());
    const Bytes gray = encode(decode(m_color, JCS_GRAYSCALE), 85);
    Raster cmykRaster = decode(m_color);
    cmykRaster.pixels.resize(cmykRaster.pixels.size() / 3 * 4);
    cmykRaster.components = 4;
    const Bytes cmyk = encode(cmykRaster, 85);
    // A premature end of the entropy data is a warning: the image is corrected as decoded, gray filled.
    const Bytes truncated(m_color.begin(), m_color.begin() + static_cast<std::ptrdiff_t>(m_color.size() / 2));
    const Bytes inputs[] = {m_color, gray, truncated, cmyk};
    struct Case {
        int input, colorMode, grayMode, blurMode, blurStrength, quality;
        int components;  // the decoded count stored, or -1: the bytes and the count stay as they were
    };
    // Colour (the defaults first; the median of colour is its average), colour at qualities 0 (acting as 1)
    // and 100, the truncated scan, gray; then None modes whatever the blur, and CMYK, left alone.
    const Case cases[] = {
        {0, 2, 1, 0, 1, 40, 3},  {0, 3, 0, 1, 1, 40, 3},  {0, 3, 2, 0, 1, 40, 3},  {0, 1, 0, 0, 1, 40, 3},
        {0, 4, 2, 2, 2, 75, 3},  {0, 1, 0, 2, 3, 40, 3},  {0, 2, 0, 1, 2, 40, 3},  {0, 3, 0, 0, 1, 0, 3},
        {0, 3, 0, 0, 1, 100, 3}, {2, 2, 1, 0, 1, 40, 3},  {1, 0, 1, 2, 2, 40, 1},  {1, 4, 2, 1, 10, 40, 1},
        {1, 0, 1, 0, 1, 40, 1},  {1, 2, 2, 0, 1, 40, 1},  {0, 0, 1, 0, 3, 40, -1}, {0, 0, 1, 1, 3, 40, -1},
        {0, 0, 2, 2, 3, 40, -1}, {1, 2, 0, 1, 3, 40, -1}, {1, 2, 0, 2, 3, 40, -1}, {3, 2, 1, 1, 2, 40, -1}};
    const fs::path file = m_dir / "image.jpg";
    for (const Case& c : cases) {
        const Bytes& input = inputs[c.input];
        writeBytes(file, input);
        std::int32_t components = -1;
        // Colour references 10 and 70, gray references 5 and 85.
        const CorrectionSettings settings{c.colorMode, c.grayMode,     10,        70, 5, 85,
                                          c.quality,   c.blurStrength, c.blurMode};
        ProcessImageJob(file.string(), &components, settings);
        const auto index = &c - cases;
        EXPECT_EQ(components, c.components) << "case " << index;
        EXPECT_TRUE(readBytes(file) == (c.components < 0 ? input : expectedOutput(input, settings)))
            << "case " << index;
        EXPECT_EQ(fileCount(), 1) << "case " << index;
    }
}

TEST_F(ImageWorkerTest, DamagedOrMissingJpegsLeaveTheirFileAndTheProcessAlone) {
    Bytes lossless = m_color;  // a lossless frame: unsupported for this colour transform
    const Bytes sof0 = {0xFF, 0xC0};
    std::search(lossless.begin(), lossless.end(), sof0.begin(), sof0.end())[1] = 0xC3;
    const Bytes damaged[] = {
        Bytes(m_color.begin(), m_color.begin() + 300), lossless, Bytes{'%', 'P', 'D', 'F'}, {}};
    const fs::path file = m_dir / "damaged.jpg";
    for (std::size_t i = 0; i <= std::size(damaged); ++i) {
        const bool missing = i == std::size(damaged);
        missing ? void(fs::remove(file)) : writeBytes(file, damaged[i]);
        JobCompletion completion;
        std::int32_t components = -7;
        const CorrectionSettings settings;
        ImageJob job{file.string(), &components, &settings, &completion};
        std::thread(ImageWorker, &job).join();
        EXPECT_EQ(components, -7) << i;
        EXPECT_EQ(completion.completedJobs, 1) << i;
        EXPECT_EQ(fileCount(), missing ? 0 : 1) << i;
        EXPECT_TRUE(missing || readBytes(file) == damaged[i]) << i;
    }
}

TEST_F(ImageWorkerTest, OutputThatCannotBeCreatedKeepsTheImageAndItsColourSpace) {
    // The longest name an entry may have: the result, first written under a longer one, cannot be created.
    const fs::path file = m_dir / (std::string(251, 'i') + ".jpg");
    writeBytes(file, m_color);
    std::int32_t components = 0;
    ::testing::internal::CaptureStderr();
    ProcessImageJob(file.string(), &components, CorrectionSettings{});
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(components, 0) << "a colour image that stays colour must not be labelled gray";
    EXPECT_TRUE(readBytes(file) == m_color);
    EXPECT_NE(messages.find("can't open " + file.string() + "\n"), std::string::npos) << messages;
    EXPECT_EQ(fileCount(), 1);
}

TEST_F(ImageWorkerTest, WorkersWaitForTheGateAndCountThemselvesDoneOnceAfterTheStarterLetsGo) {
    constexpr int kWorkers = 4;
    const CorrectionSettings settings;  // no blur: each image needs its decoded pixels once
    const std::uint64_t need = std::uint64_t{330} * 502 * 3;
    DecodeGate oneAtATime(kWorkers, need + need / 2);
    JobCompletion completion;
    std::vector<std::int32_t> components(kWorkers, 0);
    std::vector<ImageJob> jobs;
    for (int i = 0; i < kWorkers; ++i) {
        jobs.push_back(ImageJob{(m_dir / (std::to_string(i) + ".jpg")).string(),
                                &components[static_cast<std::size_t>(i)], &settings, &completion,
                                &oneAtATime});
        writeBytes(jobs.back().tempFileName, m_color);
    }
    std::vector<std::thread> workers;
    {
        std::unique_lock lock(completion.completionMutex);
        for (auto& job : jobs) workers.emplace_back(ImageWorker, &job);
        // A job renames its new file just before it counts itself: not while the starter holds the mutex.
        for (const auto& job : jobs) {
            while (fs::file_size(job.tempFileName) == m_color.size()) std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(completion.completedJobs, 0);
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(completion.completedJobs, kWorkers);
    EXPECT_EQ(components, std::vector<std::int32_t>(kWorkers, 3));
    EXPECT_EQ(oneAtATime.peakBytes(), need);
}

TEST(DecodeGate, AdmitsByCountAndByMemoryAndNeverMore) {
    // By count (memory plenty), by memory (count plenty), and an image that fits only alone.
    const std::uint64_t cases[][4] = {{2, DecodeGate::kNoBudget, 10, 2}, {8, 100, 30, 3}, {8, 100, 60, 1}};
    for (const auto [limit, budget, need, mostAtOnce] : cases) {
        DecodeGate gate(static_cast<int>(limit), budget);
        std::atomic<int> inside = 0, mostInside = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 12; ++t) {
            threads.emplace_back([&] {
                const DecodeGateSlot slot(&gate, need);
                const int now = ++inside;
                for (int seen = mostInside; now > seen && !mostInside.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));  // to overlap, not to time
                --inside;
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_LE(static_cast<std::uint64_t>(mostInside), mostAtOnce)
            << limit << " " << budget << " " << need;
        EXPECT_LE(gate.peakBytes(), std::min(budget, need * mostAtOnce));
    }
}

TEST_F(ImageWorkerTest, ImagesOverTheWholeMemoryBudgetAreLeftAsTheyAre) {
    const fs::path file = m_dir / "image.jpg";
    writeBytes(file, m_color);
    DecodeGate small(4, std::uint64_t{330} * 502 * 3 - 1);
    const CorrectionSettings settings;
    std::int32_t components = 0;
    ImageOutcome outcome;
    ProcessImageJob(ImageJob{file.string(), &components, &settings, nullptr, &small, {}, &outcome});
    EXPECT_EQ(outcome.result, ImageResult::OverBudget);
    EXPECT_TRUE(readBytes(file) == m_color);
    EXPECT_EQ(components, 0);
}

}  // namespace
}  // namespace pagewash
