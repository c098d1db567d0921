#include "imaging/image_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/imaging/reference_correction.h"
#include "tests/support/process_image_file.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;  // pagewash::testing

// An independent decoding and encoding through libjpeg's standard calls, for JPEGs that decode.
struct Raster {
    int width = 0, height = 0, components = 0;
    Bytes pixels;
    std::size_t stride() const { return std::size_t(width) * components; }
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
    Raster raster{int(cinfo.output_width), int(cinfo.output_height), cinfo.output_components, {}};
    raster.pixels.resize(raster.stride() * raster.height);
    for (JSAMPROW row = raster.pixels.data(); cinfo.output_scanline < cinfo.output_height;
         row += raster.stride())
        jpeg_read_scanlines(&cinfo, &row, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return raster;
}

Bytes encode(Raster raster, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(raster.width);
    cinfo.image_height = JDIMENSION(raster.height);
    cinfo.input_components = raster.components;
    cinfo.in_color_space = raster.components == 1   ? JCS_GRAYSCALE
                           : raster.components == 3 ? JCS_RGB
                                                    : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (JSAMPROW row = raster.pixels.data(); cinfo.next_scanline < cinfo.image_height;
         row += raster.stride())
        jpeg_write_scanlines(&cinfo, &row, 1);
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
    Bytes gray(static_cast<std::size_t>(n));
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
    // The files in the folder: temporary partial files must not stay behind.
    std::size_t fileCount() const { return listFolder(m_dir.path()).size(); }

    ScratchDir m_dir;
    const Bytes& m_color = colourJpeg();  // 330 x 502
    const std::uint64_t m_colorNeed = std::uint64_t{330} * 502 * 3;
    const CorrectionSettings m_defaults;  // no blur: each image needs its decoded pixels once
};

TEST_F(ImageWorkerTest, ImagesComeBackAsTheReferenceCorrectionEncodesOrKeepTheirBytes) {
    Raster cmyk = decode(m_color);
    cmyk.pixels.resize(cmyk.pixels.size() / 3 * 4);
    cmyk.components = 4;
    // A premature end of the entropy data is a warning: the image is corrected as decoded, gray filled.
    const Bytes inputs[] = {m_color, encode(decode(m_color, JCS_GRAYSCALE), 85),
                            Bytes(m_color.begin(), m_color.begin() + std::ssize(m_color) / 2),
                            encode(cmyk, 85)};
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
    const auto file = m_dir / "image.jpg";
    for (const Case& c : cases) {
        const Bytes& input = inputs[c.input];
        writeBytes(file, input);
        std::int32_t components = -1;
        // Colour references 10 and 70, gray references 5 and 85.
        const CorrectionSettings settings{c.colorMode, c.grayMode,     10,        70, 5, 85,
                                          c.quality,   c.blurStrength, c.blurMode};
        ProcessImageJob(file.string(), &components, settings);
        EXPECT_EQ(components, c.components) << "case " << &c - cases;
        EXPECT_TRUE(readBytes(file) == (c.components < 0 ? input : expectedOutput(input, settings)))
            << "case " << &c - cases;
        EXPECT_EQ(fileCount(), 1u) << "case " << &c - cases;
    }
}

TEST_F(ImageWorkerTest, ImagesLeftAsTheyWereKeepTheirBytesAndCountAndTheWorkerCountsItselfDone) {
    Bytes lossless = m_color;  // a lossless frame: unsupported for this colour transform
    lossless[find(lossless, "\xFF\xC0") + 1] = 0xC3;
    // Without its quantization tables the header reads well and the decoding itself fails.
    Bytes noTables(m_color.begin(), m_color.begin() + 2);
    for (std::size_t at = 2; m_color[at + 1] != 0xDA; at += 2 + (m_color[at + 2] << 8 | m_color[at + 3])) {
        const std::size_t end = at + 2 + (m_color[at + 2] << 8 | m_color[at + 3]);
        if (m_color[at + 1] != 0xDB)
            noTables.insert(noTables.end(), m_color.begin() + at, m_color.begin() + end);
    }
    noTables.insert(noTables.end(), m_color.begin() + find(m_color, "\xFF\xDA"), m_color.end());
    // Damaged JPEGs (cut short, lossless, not a JPEG, empty), a missing one (4), a sound one over the gate's
    // whole budget (5), a sound one whose result cannot be created (6): its folder is so deep that a name
    // beside it longer than "a.jpg" makes too long a path; and one whose decoding fails (7).
    const Bytes inputs[] = {Bytes(m_color.begin(), m_color.begin() + 300),
                            lossless,
                            toBytes("%PDF"),
                            {},
                            {},
                            m_color,
                            m_color,
                            noTables};
    std::string deep = m_dir.path();
    while (deep.size() < 4079)
        deep += "/" + std::string(std::min<std::size_t>(200, 4085 - deep.size() - 1), 'd');
    // What the worker says of each, in libjpeg's words or its own; nothing for a file it cannot open.
    const char* const told[] = {"Premature end of JPEG file",
                                "Unsupported JPEG process",
                                "Not a JPEG file",
                                "Empty input file",
                                nullptr,
                                nullptr,
                                "can't open ",
                                "Quantization table"};
    for (std::size_t i = 0; i < std::size(inputs); ++i) {
#ifdef _WIN32
        if (i == 6) continue;  // Windows limits a path to 260 characters unless long paths are enabled
#endif
        const std::string name = i == 6 ? deep + "/a.jpg" : m_dir.file("a.jpg");
        for (const auto& old : listFolder(m_dir.path())) std::filesystem::remove_all(m_dir / old);
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        if (i != 4) writeBytes(name, inputs[i]);
        JobCompletion completion;
        DecodeGate gate(4, i == 5 ? m_colorNeed - 1 : DecodeGate::kNoBudget);
        std::int32_t components = -7;
        ImageOutcome outcome;
        ImageJob job{name, &components, &m_defaults, &completion, &gate};
        job.outcome = &outcome;
        std::thread(ImageWorker, &job).join();
        EXPECT_EQ(components, -7) << "a colour image that stays colour must not be labelled gray: " << i;
        EXPECT_EQ(completion.completedJobs, 1) << i;
        EXPECT_EQ(outcome.result == ImageResult::OverBudget, i == 5) << i;
        EXPECT_EQ(fileCount(), i == 4 ? 0u : 1u) << i;
        EXPECT_TRUE(i == 4 || readBytes(name) == inputs[i]) << i;
        if (told[i] == nullptr) {
            EXPECT_THAT(outcome.messages, ::testing::IsEmpty()) << i;
        } else {
            ASSERT_EQ(outcome.messages.size(), i == 0 ? 2u : 1u)
                << i << ": " << ::testing::PrintToString(outcome.messages);
            EXPECT_THAT(outcome.messages[0], ::testing::StartsWith(told[i])) << i;
            if (i == 6) {
                EXPECT_EQ(outcome.messages[0], "can't open " + name);
            }
        }
    }
}

TEST_F(ImageWorkerTest, WorkersWaitForTheGateAndCountThemselvesDoneOnceAfterTheStarterLetsGo) {
    DecodeGate oneAtATime(4, m_colorNeed + m_colorNeed / 2);
    JobCompletion completion;
    std::vector<std::int32_t> components(4, 0);
    std::vector<ImageJob> jobs;
    for (auto& count : components) {
        jobs.push_back({m_dir.file(std::to_string(jobs.size()) + ".jpg"), &count, &m_defaults, &completion,
                        &oneAtATime});
        writeBytes(jobs.back().tempFileName, m_color);
    }
    std::vector<std::thread> workers;
    {
        std::unique_lock lock(completion.completionMutex);
        for (auto& job : jobs) workers.emplace_back(ImageWorker, &job);
        // A job renames its new file just before it counts itself: not while the starter holds the mutex.
        for (const auto& job : jobs)
            while (std::filesystem::file_size(job.tempFileName) == m_color.size()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(completion.completedJobs, 0);
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(completion.completedJobs, 4);
    EXPECT_EQ(components, std::vector<std::int32_t>(4, 3));
    EXPECT_EQ(oneAtATime.peakBytes(), m_colorNeed);
}

TEST(DecodeGate, AdmitsByCountAndByMemoryAndNeverMore) {
    // By count (memory plenty), by memory (count plenty), an image that fits only alone, and a book's
    // crowd of waiters handed one freed place at a time (a lost hand-over would hang the test).
    const std::uint64_t cases[][5] = {{2, DecodeGate::kNoBudget, 10, 2, 12},
                                      {8, 100, 30, 3, 12},
                                      {8, 100, 60, 1, 12},
                                      {3, DecodeGate::kNoBudget, 0, 3, 300}};
    for (const auto [limit, budget, need, mostAtOnce, crowd] : cases) {
        DecodeGate gate(int(limit), budget);
        std::atomic<std::uint64_t> inside = 0, mostInside = 0;
        std::vector<std::thread> threads;
        for (std::uint64_t t = 0; t < crowd; ++t) {
            threads.emplace_back([&] {
                const DecodeGateSlot slot(&gate, need);
                for (std::uint64_t now = ++inside, seen = mostInside; now > seen;)
                    mostInside.compare_exchange_weak(seen, now);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));  // to overlap, not to time
                --inside;
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_LE(mostInside, mostAtOnce) << limit << " " << budget << " " << need;
        EXPECT_LE(gate.peakBytes(), need * mostAtOnce);
    }
}

}  // namespace
}  // namespace pagewash
