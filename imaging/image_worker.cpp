#include "imaging/image_worker.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "imaging/bilevel_page.h"
#include "imaging/color_content.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_page.h"
#include "imaging/quarter_color_image.h"
#include "imaging/streamed_correction.h"
#include "imaging/tone_plan.h"
#include "platform/files.h"
#include "platform/replacing_file.h"

namespace pagewash {

namespace {

// libjpeg's stdio source and destination move 4 KiB per call; a 64 KiB stream buffer turns the few
// hundred system calls of a page into a handful. Set before the first read or write.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;

// Writes the image into a new file beside `fileName` through `encode` (false: it failed) and renames it
// over `fileName` only when the writing is complete, so that a failure never leaves a truncated image
// behind. With `keepSmaller`, a result larger than `originalSize` is dropped the same way and the image
// keeps its bytes.
// `extraBytes`: what the result costs in the PDF beyond the file's bytes (the objects of mixed layers).
template <typename Encode>
ImageResult replaceWith(const std::string& fileName, Encode&& encode, bool keepSmaller,
                        platform::Permissions permissions, std::int64_t originalSize,
                        LibraryMessages& messages, std::int64_t extraBytes = 0) {
    platform::ReplacingFile out(fileName, permissions);
    if (!out.isOpen()) {
        messages.push_back("can't open " + fileName);
        return ImageResult::Failed;
    }
    if (!encode(out.stream())) return ImageResult::Failed;
    if (keepSmaller) {
        if (std::fflush(out.stream()) != 0) return ImageResult::Failed;
        if (platform::streamPosition(out.stream()) + extraBytes > originalSize) return ImageResult::Larger;
    }
    if (out.commit()) return ImageResult::Bleached;
    messages.push_back("can't replace " + fileName + " (" + out.error().message() + ")");
    return ImageResult::Failed;
}

ImageResult replaceWithEncoded(const std::string& fileName, StreamedCorrection& image, const ImageJob& job,
                               platform::Permissions permissions, std::int64_t originalSize,
                               LibraryMessages& messages) {
    const auto encode = [&](std::FILE* file) {
        return encodeJpeg(file, image, image.width(), image.height(), image.outputComponents(),
                          job.settings->compression, job.coding, &messages);
    };
    return replaceWith(fileName, encode, job.keepSmaller, permissions, originalSize, messages);
}

// --bilevel: a text page gets its Group 4 data (outcome.bilevel); any other page, or with keepSmaller a
// text page whose Group 4 data is larger than the original, gets the JPEG the default would write, from
// the same corrected pixels.
ImageResult replaceWithBilevel(const std::string& fileName, StreamedCorrection& image, const ImageJob& job,
                               platform::Permissions permissions, std::int64_t originalSize,
                               ImageOutcome& outcome) {
    LibraryMessages& messages = outcome.messages;
    const BilevelPage page = codeBilevelPage(image, job.despeckle);
    outcome.tone = page.measure;
    if (page.group4) {
        const std::vector<std::uint8_t>& data = *page.group4;
        const auto write = [&](std::FILE* file) {
            return std::fwrite(data.data(), 1, data.size(), file) == data.size();
        };
        const ImageResult result =
            replaceWith(fileName, write, job.keepSmaller, permissions, originalSize, messages);
        if (result != ImageResult::Larger) {
            outcome.bilevel = result == ImageResult::Bleached;
            return result;
        }
    }
    const auto encode = [&](std::FILE* file) {
        return encodeJpeg(file, page.corrected, image.width(), image.height(), image.outputComponents(),
                          job.settings->compression, job.coding, &messages);
    };
    return replaceWith(fileName, encode, job.keepSmaller, permissions, originalSize, messages);
}

// The bytes the PDF spends on mixed layers beyond their data, a little more than it writes: the dictionaries
// of the two or three new objects, their lines of the cross-reference section, and the form's content.
constexpr std::int64_t kMixedObjectBytes = 400;
constexpr std::int64_t kMixedInkImageBytes = 200;
constexpr std::int64_t kMixedPictureBytes =
    300;  // its object, its line in the section, its place in the form

MixedLayout layoutOf(const MixedLayers& layers) {
    MixedLayout layout;
    layout.width = layers.width;
    layout.height = layers.height;
    layout.maskLength = static_cast<std::int64_t>(layers.maskGroup4.size());
    layout.backgroundLength = static_cast<std::int64_t>(layers.backgroundJpeg.size());
    layout.backgroundWidth = layers.backgroundWidth;
    layout.backgroundHeight = layers.backgroundHeight;
    layout.backgroundComponents = layers.backgroundComponents;
    layout.inkComponents = layers.inkComponents;
    layout.inkColor = layers.inkColor;
    layout.inkLength = static_cast<std::int64_t>(layers.inkJpeg.size());
    layout.inkWidth = layers.inkWidth;
    layout.inkHeight = layers.inkHeight;
    layout.pictureCount = static_cast<int>(std::min<std::size_t>(layers.pictures.size(), kMaxPictures));
    for (int i = 0; i < layout.pictureCount; ++i) {
        const MixedLayers::PictureLayer& picture = layers.pictures[static_cast<std::size_t>(i)];
        layout.pictures[static_cast<std::size_t>(i)] = {picture.x,          picture.y,
                                                        picture.width,      picture.height,
                                                        picture.components, std::ssize(picture.jpeg)};
    }
    return layout;
}

// --mrc: a plain text page gets its Group 4 data when options.bilevel allows it (outcome.bilevel), a page
// of text over something else its layers (outcome.mixed); a photograph, or with keepSmaller a page whose
// new form is larger than the original, gets the JPEG the default would write, from the same pixels.
ImageResult replaceWithMixed(const std::string& fileName, StreamedCorrection& image, const ImageJob& job,
                             const MixedOptions& options, platform::Permissions permissions,
                             std::int64_t originalSize, ImageOutcome& outcome) {
    LibraryMessages& messages = outcome.messages;
    const MixedPage page = codeMixedPage(image, options);
    outcome.tone = page.measure;
    // An empty layer (no ink image) writes nothing: fwrite may not be handed its null data.
    const auto writeAll = [](std::FILE* file, const std::vector<std::uint8_t>& data) {
        return data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    };
    if (page.group4) {
        const auto write = [&](std::FILE* file) { return writeAll(file, *page.group4); };
        const ImageResult result =
            replaceWith(fileName, write, job.keepSmaller, permissions, originalSize, messages);
        if (result != ImageResult::Larger) {
            outcome.bilevel = result == ImageResult::Bleached;
            return result;
        }
    } else if (page.layers) {
        const MixedLayers& layers = *page.layers;
        const auto write = [&](std::FILE* file) {
            bool written = writeAll(file, layers.maskGroup4) && writeAll(file, layers.backgroundJpeg) &&
                           writeAll(file, layers.inkJpeg);
            for (const MixedLayers::PictureLayer& picture : layers.pictures)
                written = written && writeAll(file, picture.jpeg);
            return written;
        };
        const std::int64_t extra = kMixedObjectBytes + (layers.inkJpeg.empty() ? 0 : kMixedInkImageBytes) +
                                   kMixedPictureBytes * std::ssize(layers.pictures);
        const ImageResult result =
            replaceWith(fileName, write, job.keepSmaller, permissions, originalSize, messages, extra);
        if (result != ImageResult::Larger) {
            outcome.mixed = result == ImageResult::Bleached;
            if (outcome.mixed) outcome.mixedLayout = layoutOf(layers);
            return result;
        }
    }
    const auto encode = [&](std::FILE* file) {
        return encodeJpeg(file, page.corrected, image.width(), image.height(), image.outputComponents(),
                          job.settings->compression, job.coding, &messages);
    };
    return replaceWith(fileName, encode, job.keepSmaller, permissions, originalSize, messages);
}

// What the colour measure said of an image before its decoding.
enum class ColorBeforeDecoding { NotMeasured, RealColor, NoRealColor, Failed };

// With keepColorPages, a colour image that would turn gray is measured first (a reduced decoding); one
// with real colour is corrected as the automatic colour mode would. Leaves `in` at the start of the file.
ColorBeforeDecoding measureToKeepColor(const ImageJob& job, const JpegHeader& header, std::FILE* in) {
    if (!job.keepColorPages || header.components != 3 || !turnsColorGray(job.settings->color()))
        return ColorBeforeDecoding::NotMeasured;
    ColorContent content;
    const bool measured = measureColorContent(in, content);
    if (std::fseek(in, 0, SEEK_SET) != 0 || !measured) return ColorBeforeDecoding::Failed;
    return content.hasRealColor() ? ColorBeforeDecoding::RealColor : ColorBeforeDecoding::NoRealColor;
}

// `slot` holds the job's place in its gate; the image's memory is reserved through it.
void processImage(const ImageJob& job, ImageOutcome& outcome, DecodeGateSlot& slot) {
    const std::string& fileName = job.tempFileName;
    LibraryMessages& messages = outcome.messages;
    std::error_code openError;
    platform::StdioFile in = platform::openForReading(fileName, openError);
    if (!in) return;
    std::setvbuf(in.get(), nullptr, _IOFBF, kStreamBuffer);
    platform::Permissions permissions{0600};
    // An original whose size is unknown is never smaller than its new JPEG.
    std::int64_t originalSize = std::numeric_limits<std::int64_t>::max();
    if (platform::FileStatus status; platform::statusOf(in.get(), status, openError)) {
        permissions = status.permissions;
        originalSize = static_cast<std::int64_t>(status.size);
    }

    // The size comes from the header before any pixel is allocated: an image that cannot fit the
    // memory budget is left as it is, and one that can waits until it fits beside the others.
    JpegHeader header;
    if (!readJpegHeader(in.get(), header, &messages) || std::fseek(in.get(), 0, SEEK_SET) != 0) return;
    outcome.width = header.width;
    outcome.height = header.height;
    outcome.memoryNeed = decodingMemoryNeed(header, *job.settings);
    if (job.mrc) {
        outcome.memoryNeed += mixedMemoryNeed(header.width, header.height, header.components);
    } else if (job.bilevel) {
        // A colour page stays colour by its mode, or by --keep-color-pages when it holds real colour.
        const bool mayStayColor =
            header.components == 3 && (planTones(*job.settings, 3).componentsOut == 3 ||
                                       (job.keepColorPages && turnsColorGray(job.settings->color())));
        outcome.memoryNeed +=
            bilevelMemoryNeed(header.width, header.height, header.components, mayStayColor ? 3 : 1);
    }
    if (job.gate != nullptr && !job.gate->fits(outcome.memoryNeed)) {
        outcome.result = ImageResult::OverBudget;
        return;
    }
    slot.reserve(outcome.memoryNeed);
    CorrectionSettings settings = *job.settings;
    const ColorBeforeDecoding colorBefore = measureToKeepColor(job, header, in.get());
    outcome.keptColor = colorBefore == ColorBeforeDecoding::RealColor;
    if (outcome.keptColor) settings.colorMode = static_cast<std::int32_t>(ColorMode::Auto);
    StreamedCorrection image(settings);
    // A colour page may be a text page only without real colour (the measure of --keep-color-pages, whatever
    // the colour mode). Unless that measure was taken before, it is taken on the decoded page reduced four
    // times as its scanlines go by: the one decoding serves both.
    QuarterColorImage quarter;
    const bool measuresWhileDecoding =
        job.bilevel && header.components == 3 && colorBefore == ColorBeforeDecoding::NotMeasured;
    if (measuresWhileDecoding) image.alsoReduceInto(&quarter);
    if (!decodeJpeg(in.get(), image, 1, &messages)) {
        if (image.outOfMemory()) {
            messages.push_back("not enough memory for a " + std::to_string(image.width()) + " x " +
                               std::to_string(image.height()) + " image");
        }
        return;
    }
    in.reset();
    // None modes, modes the settings do not know, CMYK and the like: the file stays as it was.
    if (!image.changesImage()) {
        const int components = image.decodedComponents();
        outcome.result =
            components == 1 || components == 3 ? ImageResult::ModeNone : ImageResult::OtherComponents;
        outcome.keptColor = false;
        return;
    }
    image.finish();
    bool colorMayBeText = colorBefore == ColorBeforeDecoding::NoRealColor;
    if (measuresWhileDecoding && quarter.pixels() != nullptr) {
        ColorContent content;
        measureColorContent(quarter.pixels(), quarter.count(), content);
        colorMayBeText = !content.hasRealColor();
    }
    // The quality and coding are the job's, whichever colour mode corrected the image.
    const bool mayBeText = job.bilevel && (image.decodedComponents() == 1 || colorMayBeText);
    if (job.mrc) {
        // A page with real colour may still be a text page, but one whose colour its layers keep.
        const MixedOptions options{.bilevel = mayBeText,
                                   .maxSpeck = job.despeckle,
                                   .pictureQuality = job.settings->compression,
                                   .pictureCoding = job.coding};
        outcome.result = replaceWithMixed(fileName, image, job, options, permissions, originalSize, outcome);
    } else {
        outcome.result = mayBeText
                             ? replaceWithBilevel(fileName, image, job, permissions, originalSize, outcome)
                             : replaceWithEncoded(fileName, image, job, permissions, originalSize, messages);
    }
    if (outcome.result != ImageResult::Bleached) {
        outcome.keptColor = false;
        return;
    }
    // The count tells the writer what the file now holds, so it is stored only once the new JPEG is in
    // place: an image that keeps its old bytes keeps its colour space too, and so does one kept in colour.
    // A bilevel page is gray whatever it was decoded as.
    if (job.componentsOut != nullptr && !outcome.keptColor)
        *job.componentsOut = outcome.bilevel ? 1 : image.decodedComponents();
}

}  // namespace

std::uint64_t decodingMemoryNeed(const JpegHeader& header, const CorrectionSettings& settings) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(std::max(header.width, 0)) *
                                 static_cast<std::uint64_t>(std::max(header.height, 0)) *
                                 static_cast<std::uint64_t>(std::max(header.components, 1));
    // The blur reads the corrected image while it writes a second one.
    const bool blurs = settings.blurMode != static_cast<std::int32_t>(BlurMode::None);
    return blurs ? 2 * pixels : pixels;
}

void ProcessImageJob(const ImageJob& job) {
    ImageOutcome ignored;
    ImageOutcome& outcome = job.outcome != nullptr ? *job.outcome : ignored;
    // What went wrong is told in words; telling it can itself run out of memory, and is then dropped.
    const auto tell = [&](const std::string& message) {
        try {
            outcome.messages.push_back(message);
        } catch (const std::bad_alloc&) {
        }
    };
    try {
        // The gate's place is held from before the file is opened until the encoded file is in place:
        // the workers that wait hold nothing but their thread.
        DecodeGateSlot slot(job.gate);
        processImage(job, outcome, slot);
    } catch (const std::bad_alloc&) {
        tell(outcome.width > 0 ? "not enough memory to correct a " + std::to_string(outcome.width) + " x " +
                                     std::to_string(outcome.height) + " image"
                               : "not enough memory to correct the image");
    } catch (const std::exception& error) {
        tell(error.what());
    }
}

unsigned ImageWorker(ImageJob* job) {
    ProcessImageJob(*job);
    {
        std::scoped_lock lock(job->completion->completionMutex);
        job->completion->completedJobs += 1;
    }
    return 0;
}

}  // namespace pagewash
