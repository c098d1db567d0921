#include "imaging/image_worker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An independent decode and encode straight through libjpeg's standard calls, for the expected results.
struct Raster {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> pixels;
    int firstQuantizer = 0;  // quantval[0] of table 0, to tell the quality
};

Raster decodeWithLibjpeg(const fs::path& path) {
    Raster raster;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return raster;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    raster.firstQuantizer = cinfo.quant_tbl_ptrs[0] ? cinfo.quant_tbl_ptrs[0]->quantval[0] : -1;
    jpeg_start_decompress(&cinfo);
    raster.width = static_cast<int>(cinfo.output_width);
    raster.height = static_cast<int>(cinfo.output_height);
    raster.components = cinfo.output_components;
    const std::size_t stride =
        static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.components);
    raster.pixels.resize(stride * static_cast<std::size_t>(raster.height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = raster.pixels.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return raster;
}

Bytes encodeWithLibjpeg(const Raster& raster, int quality, const fs::path& scratch) {
    std::FILE* file = std::fopen(scratch.c_str(), "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(raster.width);
    cinfo.image_height = static_cast<JDIMENSION>(raster.height);
    cinfo.input_components = raster.components;
    cinfo.in_color_space = raster.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride =
        static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(raster.pixels.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    return readBytes(scratch);
}

// What the worker must write: decode, reference correction and blur, encode.
Bytes expectedOutput(const fs::path& input, const CorrectionSettings& settings, const fs::path& scratch) {
    Raster raster = decodeWithLibjpeg(input);
    const std::int64_t n = std::int64_t{raster.width} * raster.height;
    if (raster.components == 3) {
        std::vector<std::uint8_t> gray(static_cast<std::size_t>(n));
        reference::correctTones(gray.data(), settings, raster.pixels.data(), n, 3);
        if (settings.colorMode == 2 || settings.colorMode == 3) {
            raster.pixels = std::move(gray);
            raster.components = 1;
        }
    } else {
        reference::correctTones(raster.pixels.data(), settings, nullptr, n, 1);
    }
    reference::applyBlur(raster.pixels.data(), raster.width, raster.height, raster.components,
                         settings.blurStrength, settings.blur());
    return encodeWithLibjpeg(raster, settings.compression, scratch);
}

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

class ImageWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pagewash-imaging-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        fs::copy_file(fs::path(PAGEWASH_TEST_DATA_DIR) / "pikepdf_congress_im0.jpg", colorJpeg());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path colorJpeg() const { return m_dir / "color.jpg"; }
    fs::path path(const char* name) const { return m_dir / name; }

    // A gray JFIF JPEG made from the colour one by cjpeg.
    fs::path makeGrayJpeg() {
        const fs::path gray = path("gray.jpg");
        const std::string command =
            "djpeg -grayscale '" + colorJpeg().string() + "' | cjpeg -quality 85 > '" + gray.string() + "'";
        if (std::system(command.c_str()) != 0) return {};
        return gray;
    }

    // The files of the folder other than those named: temporary partial files must not stay behind.
    std::vector<std::string> strayFiles(std::initializer_list<fs::path> known) const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            bool isKnown = false;
            for (const auto& k : known) isKnown = isKnown || entry.path() == k;
            if (!isKnown) stray.push_back(entry.path().filename().string());
        }
        return stray;
    }

    fs::path m_dir;
};

CorrectionSettings withModes(int color, int gray, int blur = 0, int strength = 1) {
    CorrectionSettings settings;
    settings.colorMode = color;
    settings.grayMode = gray;
    settings.blurMode = blur;
    settings.blurStrength = strength;
    return settings;
}

TEST_F(ImageWorkerTest, NoneModesKeepTheFileByteForByte) {
    if (!haveTool("cjpeg") || !haveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
    const fs::path gray = makeGrayJpeg();
    ASSERT_FALSE(gray.empty());
    const Bytes colorBefore = readBytes(colorJpeg());
    const Bytes grayBefore = readBytes(gray);
    for (int blur : {0, 1, 2}) {
        std::int32_t components = -1;
        ProcessImageJob(colorJpeg().string(), &components, withModes(0, 1, blur, 3));
        EXPECT_EQ(components, -1) << "nothing was re-encoded: the count is left alone";
        EXPECT_EQ(readBytes(colorJpeg()), colorBefore) << "blur " << blur;
        components = -1;
        ProcessImageJob(gray.string(), &components, withModes(2, 0, blur, 3));
        EXPECT_EQ(components, -1);
        EXPECT_EQ(readBytes(gray), grayBefore) << "blur " << blur;
    }
}

TEST_F(ImageWorkerTest, ColourImagesComeBackAsTheReferenceCorrectionEncodes) {
    const fs::path input = path("input.jpg");
    fs::copy_file(colorJpeg(), input);
    struct Case {
        CorrectionSettings settings;
        int components;
    };
    CorrectionSettings manual = withModes(4, 2, 2, 2);  // Median on colour is the average
    manual.colorBlack = 10;
    manual.colorWhite = 70;
    manual.compression = 75;
    const Case cases[] = {
        {CorrectionSettings{}, 1},   // the defaults: yellowing removal, automatic gray levels, quality 40
        {withModes(3, 0, 1, 1), 1},  // plain luminance, averaged
        {withModes(3, 2), 1},       {withModes(1, 0), 3}, {manual, 3},
        {withModes(1, 0, 2, 3), 3},  // automatic colour levels, then the blur
        {withModes(2, 0, 1, 2), 1},  // yellowing removal, gray kept as converted, blurred
    };
    for (const Case& c : cases) {
        fs::copy_file(input, colorJpeg(), fs::copy_options::overwrite_existing);
        std::int32_t components = -1;
        ProcessImageJob(colorJpeg().string(), &components, c.settings);
        EXPECT_EQ(components, 3) << "the decoded count is stored, not the written one";
        const Bytes output = readBytes(colorJpeg());
        EXPECT_EQ(output, expectedOutput(input, c.settings, path("expected.jpg")))
            << "colorMode " << c.settings.colorMode << " grayMode " << c.settings.grayMode;
        EXPECT_EQ(decodeWithLibjpeg(colorJpeg()).components, c.components);
        // A JFIF header right after SOI: the images of an edited PDF are found again.
        ASSERT_GE(output.size(), 11u);
        EXPECT_EQ(Bytes(output.begin(), output.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));
        EXPECT_EQ(Bytes(output.begin() + 6, output.begin() + 11), (Bytes{'J', 'F', 'I', 'F', 0}));
    }
    EXPECT_EQ(strayFiles({colorJpeg(), input, path("expected.jpg")}), std::vector<std::string>{});
}

TEST_F(ImageWorkerTest, GrayImagesFollowTheGrayModeWhateverTheColourMode) {
    if (!haveTool("cjpeg") || !haveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
    const fs::path gray = makeGrayJpeg();
    ASSERT_FALSE(gray.empty());
    const fs::path input = path("input.jpg");
    fs::copy_file(gray, input);
    // With a blur the tones are applied to the whole image first; without, a scanline at a time while
    // encoding.
    for (const CorrectionSettings& settings :
         {withModes(0, 1, 2, 2), withModes(4, 2, 1, 10), withModes(0, 1), withModes(2, 2)}) {
        fs::copy_file(input, gray, fs::copy_options::overwrite_existing);
        std::int32_t components = -1;
        ProcessImageJob(gray.string(), &components, settings);
        EXPECT_EQ(components, 1);
        EXPECT_EQ(readBytes(gray), expectedOutput(input, settings, path("expected.jpg")));
    }
}

TEST_F(ImageWorkerTest, QualityZeroActsAsOneAndHundredAsHundred) {
    CorrectionSettings settings = withModes(3, 0);
    const fs::path input = path("input.jpg");
    fs::copy_file(colorJpeg(), input);
    Bytes outputs[2];
    int index = 0;
    for (int quality : {0, 1}) {
        fs::copy_file(input, colorJpeg(), fs::copy_options::overwrite_existing);
        settings.compression = quality;
        std::int32_t components = 0;
        ProcessImageJob(colorJpeg().string(), &components, settings);
        outputs[index++] = readBytes(colorJpeg());
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(decodeWithLibjpeg(colorJpeg()).firstQuantizer, 255)
        << "quality 1 scales the tables to their limit";
    fs::copy_file(input, colorJpeg(), fs::copy_options::overwrite_existing);
    settings.compression = 100;
    std::int32_t components = 0;
    ProcessImageJob(colorJpeg().string(), &components, settings);
    EXPECT_EQ(decodeWithLibjpeg(colorJpeg()).firstQuantizer, 1);
}

TEST_F(ImageWorkerTest, DamagedJpegsLeaveTheirFileAndTheProcessAlone) {
    const Bytes good = readBytes(colorJpeg());
    std::vector<std::pair<std::string, Bytes>> damaged;
    damaged.emplace_back("truncated in the header", Bytes(good.begin(), good.begin() + 300));
    Bytes noFrame = good;
    for (std::size_t i = 2; i + 1 < noFrame.size(); ++i) {
        if (noFrame[i] == 0xFF && noFrame[i + 1] == 0xC0) {
            noFrame[i + 1] = 0xC3;  // lossless frame: unsupported for this colour transform
            break;
        }
    }
    damaged.emplace_back("unsupported frame", noFrame);
    damaged.emplace_back("not a JPEG", Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'});
    damaged.emplace_back("empty", Bytes{});
    for (const auto& [what, bytes] : damaged) {
        const fs::path file = path("damaged.jpg");
        writeBytes(file, bytes);
        JobCompletion completion;
        std::int32_t components = -7;
        const CorrectionSettings settings;
        ImageJob job{file.string(), &components, &settings, &completion};
        std::thread worker(ImageWorker, &job);
        worker.join();
        EXPECT_EQ(readBytes(file), bytes) << what;
        EXPECT_EQ(completion.completedJobs, 1) << what;
        EXPECT_EQ(strayFiles({colorJpeg(), file}), std::vector<std::string>{}) << what;
    }
}

TEST_F(ImageWorkerTest, TruncatedScanIsCorrectedAsDecoded) {
    // A premature end of the entropy data is a warning: the image is decoded, gray filled, and written.
    const Bytes good = readBytes(colorJpeg());
    const fs::path file = path("short.jpg");
    writeBytes(file, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)));
    std::int32_t components = 0;
    ProcessImageJob(file.string(), &components, CorrectionSettings{});
    EXPECT_EQ(components, 3);
    const Raster output = decodeWithLibjpeg(file);
    EXPECT_EQ(output.components, 1);
    EXPECT_EQ(output.width, 330);
    EXPECT_EQ(output.height, 502);
}

TEST_F(ImageWorkerTest, CmykJpegIsLeftAsItWas) {
    if (!haveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
    const fs::path cmyk = path("cmyk.jpg");
    ASSERT_EQ(
        std::system(
            ("convert '" + colorJpeg().string() + "' -colorspace CMYK '" + cmyk.string() + "'").c_str()),
        0);
    const Bytes before = readBytes(cmyk);
    std::int32_t components = 0;
    ProcessImageJob(cmyk.string(), &components, withModes(2, 1, 1, 2));
    EXPECT_EQ(components, 0) << "an image left as it was keeps its colour space: no count is stored";
    EXPECT_EQ(readBytes(cmyk), before);
}

TEST_F(ImageWorkerTest, MissingFileIsSilentAndStoresNothing) {
    JobCompletion completion;
    std::int32_t components = -7;
    const CorrectionSettings settings;
    ImageJob job{path("absent.jpg").string(), &components, &settings, &completion};
    EXPECT_EQ(ImageWorker(&job), 0u);
    EXPECT_EQ(components, -7);
    EXPECT_EQ(completion.completedJobs, 1);
}

TEST_F(ImageWorkerTest, UnwritableFolderKeepsTheImage) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const fs::path folder = path("locked");
    fs::create_directory(folder);
    const fs::path file = folder / "image.jpg";
    fs::copy_file(colorJpeg(), file);
    const Bytes before = readBytes(file);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    std::int32_t components = 0;
    ::testing::internal::CaptureStderr();
    ProcessImageJob(file.string(), &components, CorrectionSettings{});
    const std::string messages = ::testing::internal::GetCapturedStderr();
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(readBytes(file), before);
    EXPECT_NE(messages.find("can't open " + file.string() + "\n"), std::string::npos) << messages;
}

TEST_F(ImageWorkerTest, OutputThatCannotBeCreatedKeepsTheImageAndItsColourSpace) {
    // The longest name a folder entry may have: the result, written beside it under a longer name first,
    // cannot be created, whoever runs the test.
    const fs::path file = m_dir / (std::string(251, 'i') + ".jpg");
    fs::copy_file(colorJpeg(), file);
    const Bytes before = readBytes(file);
    std::int32_t components = 0;
    ::testing::internal::CaptureStderr();
    ProcessImageJob(file.string(), &components, CorrectionSettings{});
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(components, 0) << "a colour image that stays colour must not be labelled gray";
    EXPECT_EQ(readBytes(file), before);
    EXPECT_NE(messages.find("can't open " + file.string() + "\n"), std::string::npos) << messages;
    EXPECT_EQ(strayFiles({colorJpeg(), file}), std::vector<std::string>{});
}

TEST_F(ImageWorkerTest, WorkersCountThemselvesDoneOnceAndOnlyAfterTheStarterLetsGo) {
    constexpr int kWorkers = 12;
    const CorrectionSettings settings;
    JobCompletion completion;
    std::vector<std::int32_t> components(kWorkers, 0);
    std::vector<ImageJob> jobs;
    for (int i = 0; i < kWorkers; ++i) {
        const fs::path file = m_dir / ("_image_" + std::to_string(i) + ".jpg");
        fs::copy_file(colorJpeg(), file);
        jobs.push_back(
            ImageJob{file.string(), &components[static_cast<std::size_t>(i)], &settings, &completion});
    }
    std::vector<std::thread> workers;
    {
        std::unique_lock lock(completion.completionMutex);
        for (auto& job : jobs) workers.emplace_back(ImageWorker, &job);
        // Let every worker finish its image; none may count itself while the starter holds the mutex.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        // The rename of a rewritten file is the last step of a job before it counts itself.
        const auto originalSize = fs::file_size(colorJpeg());
        auto allDecoded = [&] {
            for (const auto& job : jobs) {
                if (fs::file_size(job.tempFileName) == originalSize) return false;
            }
            return true;
        };
        while (!allDecoded() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(completion.completedJobs, 0);
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(completion.completedJobs, kWorkers);
    for (std::int32_t c : components) EXPECT_EQ(c, 3);
}

TEST(DecodeGate, AdmitsByCountAndByMemoryAndNeverMore) {
    struct Case {
        int limit;
        std::uint64_t budget;
        std::uint64_t need;
        int mostAtOnce;
    };
    // By count (memory plenty), by memory (count plenty), and an image that fits only alone.
    for (const Case c : {Case{2, DecodeGate::kNoBudget, 10, 2}, Case{8, 100, 30, 3}, Case{8, 100, 60, 1}}) {
        DecodeGate gate(c.limit, c.budget);
        std::mutex mutex;
        int inside = 0;
        int mostInside = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 12; ++t) {
            threads.emplace_back([&] {
                const DecodeGateSlot slot(&gate, c.need);
                {
                    std::scoped_lock lock(mutex);
                    mostInside = std::max(mostInside, ++inside);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                std::scoped_lock lock(mutex);
                --inside;
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_LE(mostInside, c.mostAtOnce) << c.limit << " " << c.budget << " " << c.need;
        EXPECT_LE(gate.peakBytes(), std::min(c.budget, c.need * static_cast<std::uint64_t>(c.mostAtOnce)));
    }
}

TEST_F(ImageWorkerTest, ImagesOverTheMemoryBudgetAreLeftAsTheyAreAndTheRestWaitTheirTurn) {
    const CorrectionSettings settings;
    JpegHeader header;
    {
        std::FILE* file = std::fopen(colorJpeg().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(readJpegHeader(file, header));
        std::fclose(file);
    }
    const std::uint64_t need = decodingMemoryNeed(header, settings);
    EXPECT_EQ(need, std::uint64_t{330} * 502 * 3);

    // A budget below one image: nothing is decoded, the bytes stay, the outcome says why.
    DecodeGate small(4, need - 1);
    const Bytes before = readBytes(colorJpeg());
    std::int32_t components = 0;
    ImageOutcome outcome;
    ProcessImageJob(ImageJob{colorJpeg().string(), &components, &settings, nullptr, &small, {}, &outcome},
                    &outcome);
    EXPECT_TRUE(outcome.overBudget);
    EXPECT_EQ(outcome.width, 330);
    EXPECT_EQ(outcome.height, 502);
    EXPECT_EQ(readBytes(colorJpeg()), before);
    EXPECT_EQ(components, 0);

    // A budget that holds one image at a time: every image is bleached, one after the other.
    constexpr int kImages = 4;
    DecodeGate oneAtATime(kImages, need + need / 2);
    JobCompletion completion;
    std::vector<std::int32_t> counts(kImages, 0);
    std::vector<ImageJob> jobs;
    for (int i = 0; i < kImages; ++i) {
        const fs::path copy = m_dir / ("_image_" + std::to_string(i) + ".jpg");
        fs::copy_file(colorJpeg(), copy);
        jobs.push_back(ImageJob{copy.string(), &counts[static_cast<std::size_t>(i)], &settings, &completion,
                                &oneAtATime});
    }
    std::vector<std::thread> workers;
    for (ImageJob& job : jobs) workers.emplace_back(ImageWorker, &job);
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(completion.completedJobs, kImages);
    for (std::int32_t count : counts) EXPECT_EQ(count, 3);
    EXPECT_EQ(oneAtATime.peakBytes(), need);
}

}  // namespace
}  // namespace pagewash
