#include "imaging/image_worker.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "imaging/jpeg_codec.h"
#include "imaging/replacing_file.h"
#include "imaging/streamed_correction.h"

namespace pagewash {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// libjpeg's stdio source and destination move 4 KiB per call; a 64 KiB stream buffer turns the few
// hundred system calls of a page into a handful. Set before the first read or write.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;

// Encodes the image into a new file beside `fileName` and renames it over `fileName` only when the
// encoding is complete, so that a failure never leaves a truncated image behind. True once the new
// image is in place.
bool replaceWithEncoded(const std::string& fileName, StreamedCorrection& image, int quality, mode_t mode) {
    ReplacingFile out(fileName, mode);
    if (!out.isOpen()) {
        std::fprintf(stderr, "can't open %s\n", fileName.c_str());
        return false;
    }
    const bool encoded =
        encodeJpeg(out.stream(), image, image.width(), image.height(), image.outputComponents(), quality);
    if (!encoded) return false;
    if (out.commit()) return true;
    std::fprintf(stderr, "can't replace %s\n", fileName.c_str());
    return false;
}

void processImage(const std::string& fileName, std::int32_t* componentsOut,
                  const CorrectionSettings& settings) {
    StreamedCorrection image(settings);
    mode_t mode = S_IRUSR | S_IWUSR;
    {
        File in(std::fopen(fileName.c_str(), "rb"));
        if (!in) return;
        std::setvbuf(in.get(), nullptr, _IOFBF, kStreamBuffer);
        struct stat status {};
        if (::fstat(::fileno(in.get()), &status) == 0) mode = status.st_mode & 07777;
        if (!decodeJpeg(in.get(), image)) return;
    }
    // None modes, modes the settings do not know, CMYK and the like: the file stays as it was.
    if (!image.changesImage()) return;
    image.finish();
    // The count tells the writer what the file now holds, so it is stored only once the new JPEG is in
    // place: an image that keeps its old bytes keeps its colour space too.
    if (replaceWithEncoded(fileName, image, settings.compression, mode) && componentsOut != nullptr)
        *componentsOut = image.decodedComponents();
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
