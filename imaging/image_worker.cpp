#include "imaging/image_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "imaging/blur.h"
#include "imaging/jpeg_codec.h"
#include "imaging/tone_correction.h"

namespace pagewash {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool isKnown(ColorMode mode) {
    return mode == ColorMode::Auto || mode == ColorMode::YellowingRemoval || mode == ColorMode::Grayscale ||
           mode == ColorMode::Manual || mode == ColorMode::None;
}

bool isKnown(GrayMode mode) {
    return mode == GrayMode::None || mode == GrayMode::Auto || mode == GrayMode::Manual;
}

// Corrects and blurs the decoded image as the settings say. Returns false when the image is to be left as
// it was (a None mode, a mode the settings do not know, a component count other than 1 and 3).
// Throws std::bad_alloc when a buffer cannot be allocated.
bool correctImage(DecodedImage& image, const CorrectionSettings& settings) {
    const std::int64_t pixelCount = std::int64_t{image.width} * image.height;
    if (image.components == 1) {
        const GrayMode grayMode = settings.gray();
        if (grayMode == GrayMode::None || !isKnown(grayMode)) return false;
        CorrectTones(image.pixels.get(), settings, nullptr, pixelCount, 1);
    } else if (image.components == 3) {
        const ColorMode colorMode = settings.color();
        if (colorMode == ColorMode::None || !isKnown(colorMode)) return false;
        auto gray = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(pixelCount));
        CorrectTones(gray.get(), settings, image.pixels.get(), pixelCount, 3);
        if (colorMode == ColorMode::YellowingRemoval || colorMode == ColorMode::Grayscale) {
            image.pixels = std::move(gray);
            image.components = 1;
        }
    } else {
        return false;  // CMYK and the like: no colour space to encode them in; the file stays as it was
    }
    if (settings.blur() != BlurMode::None) {
        ApplyBlur(image.pixels.get(), image.width, image.height, image.components, settings.blurStrength,
                  settings.blur());
    }
    return true;
}

// Encodes the image into a new file beside `fileName` and renames it over `fileName` only when the
// encoding is complete, so that a failure never leaves a truncated image behind.
void replaceWithEncoded(const std::string& fileName, const DecodedImage& image, int quality, mode_t mode) {
    std::string partName = fileName + ".XXXXXX";
    const int descriptor = ::mkstemp(partName.data());
    File out(descriptor >= 0 ? ::fdopen(descriptor, "wb") : nullptr);
    if (!out) {
        if (descriptor >= 0) {
            ::close(descriptor);
            ::unlink(partName.c_str());
        }
        std::fprintf(stderr, "can't open %s\n", fileName.c_str());
        return;
    }
    ::fchmod(descriptor, mode);
    bool written =
        encodeJpeg(out.get(), image.pixels.get(), image.width, image.height, image.components, quality);
    written = std::fflush(out.get()) == 0 && written;
    written = std::fclose(out.release()) == 0 && written;
    if (!written || std::rename(partName.c_str(), fileName.c_str()) != 0) {
        if (written) std::fprintf(stderr, "can't replace %s\n", fileName.c_str());
        ::unlink(partName.c_str());
    }
}

void processImage(const std::string& fileName, std::int32_t* componentsOut,
                  const CorrectionSettings& settings) {
    DecodedImage image;
    mode_t mode = S_IRUSR | S_IWUSR;
    {
        File in(std::fopen(fileName.c_str(), "rb"));
        if (!in) return;
        struct stat status {};
        if (::fstat(::fileno(in.get()), &status) == 0) mode = status.st_mode & 07777;
        if (!decodeJpeg(in.get(), image)) return;
    }
    if (componentsOut != nullptr) *componentsOut = image.components;
    if (!correctImage(image, settings)) return;
    replaceWithEncoded(fileName, image, settings.compression, mode);
}

}  // namespace

void ProcessImageJob(const std::string& tempFileName, std::int32_t* componentsOut,
                     const CorrectionSettings& settings, DecodeGate* gate) {
    try {
        // The gate's place is held from before the decoding until the encoded file is in place, while the
        // decoded pixels are in memory.
        DecodeGateSlot slot(gate);
        processImage(tempFileName, componentsOut, settings);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "not enough memory to correct %s\n", tempFileName.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", tempFileName.c_str(), error.what());
    }
}

unsigned ImageWorker(ImageJob* job) {
    ProcessImageJob(job->tempFileName, job->componentsOut, *job->settings, job->gate);
    {
        std::scoped_lock lock(job->completion->completionMutex);
        job->completion->completedJobs += 1;
    }
    return 0;
}

}  // namespace pagewash
