#include "preview/image_preview.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/batch/run_temp_dir.h"
#include "engine/pdf/file_layer.h"
#include "imaging/decode_gate.h"
#include "imaging/group4_codec.h"
#include "imaging/image_worker.h"
#include "imaging/mixed_page.h"
#include "platform/files.h"

namespace pagewash {

namespace {

std::uint8_t product(std::uint8_t a, std::uint8_t b) {
    // a * b / 255, rounded: exact for every pair of bytes.
    const unsigned p = static_cast<unsigned>(a) * b + 128u;
    return static_cast<std::uint8_t>((p + (p >> 8)) >> 8);
}

// Group 4 data as a reader shows it: black 0, white 255.
Result<DecodedImage> decodeBilevel(std::span<const std::uint8_t> data, int width, int height) {
    const std::optional<BilevelImage> bits = decodeGroup4(data, width, height);
    if (!bits) return Refusal{-1, "black-and-white image cannot be decoded"};
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.components = 1;
    image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(image.size());
    std::uint8_t* out = image.pixels.get();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) *out++ = bits->black(x, y) ? 0 : 255;
    return image;
}

// Mixed layers as a reader draws them: the background and the ink scaled up, the pictures on their
// rectangles, the ink where the mask has it.
Result<DecodedImage> decodeMixed(std::span<const std::uint8_t> data, const MixedLayout& layout) {
    if (static_cast<std::int64_t>(data.size()) != layout.fileLength())
        return Refusal{-1, "the layers do not fill their file"};
    const auto part = [&](std::int64_t begin, std::int64_t length) {
        return std::vector<std::uint8_t>(data.begin() + begin, data.begin() + begin + length);
    };
    MixedLayers layers;
    layers.width = layout.width;
    layers.height = layout.height;
    layers.maskGroup4 = part(0, layout.maskLength);
    layers.backgroundJpeg = part(layout.maskLength, layout.backgroundLength);
    layers.backgroundWidth = layout.backgroundWidth;
    layers.backgroundHeight = layout.backgroundHeight;
    layers.backgroundComponents = layout.backgroundComponents;
    layers.inkComponents = layout.inkComponents;
    layers.inkColor = layout.inkColor;
    layers.inkJpeg = part(layout.maskLength + layout.backgroundLength, layout.inkLength);
    layers.inkWidth = layout.inkWidth;
    layers.inkHeight = layout.inkHeight;
    for (int i = 0; i < layout.pictureCount; ++i) {
        const MixedPictureLayout& picture = layout.pictures[static_cast<std::size_t>(i)];
        layers.pictures.push_back({picture.x, picture.y, picture.width, picture.height, picture.components,
                                   part(layout.pictureOffset(i), picture.length)});
    }
    std::vector<std::uint8_t> pixels = renderMixedLayers(layers, layout.inkComponents);
    if (pixels.empty()) return Refusal{-1, "the layers of the image cannot be decoded"};
    DecodedImage image;
    image.width = layout.width;
    image.height = layout.height;
    image.components = layout.inkComponents;
    if (pixels.size() != image.size()) return Refusal{-1, "the layers of the image cannot be decoded"};
    image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(image.size());
    std::copy(pixels.begin(), pixels.end(), image.pixels.get());
    return image;
}

}  // namespace

Result<BleachedJpeg> bleachJpeg(std::span<const std::uint8_t> jpeg, const CorrectionSettings& settings,
                                const PreviewOptions& options) {
    try {
        const RunTempDir folder(options.temporaryRoot);
        const std::string name = folder.file("_image_000.jpg");
        {
            OutputFile copy(name);
            copy.write(jpeg);
            copy.close();
        }
        // The run's gate with one place: an image over the budget is left as it is, as in a run.
        DecodeGate gate(1, options.memoryBudget > 0 ? options.memoryBudget : defaultMemoryBudget());
        std::int32_t components = 0;
        ImageOutcome outcome;
        ProcessImageJob(ImageJob{name, &components, &settings, nullptr, &gate, options.coding, &outcome,
                                 options.keepSmaller, options.keepColorPages, options.bilevel,
                                 options.despeckle, options.mrc});
        BleachedJpeg result;
        result.changed = outcome.result == ImageResult::Bleached;
        result.bilevel = result.changed && outcome.bilevel;
        result.mixed = result.changed && outcome.mixed;
        result.layout = outcome.mixedLayout;
        result.width = outcome.width;
        result.height = outcome.height;
        result.bytes =
            result.changed ? readWholeFile(name) : std::vector<std::uint8_t>(jpeg.begin(), jpeg.end());
        return result;
    } catch (const CFileException& error) {
        return Refusal{-1, error.what()};
    } catch (const std::bad_alloc&) {
        return Refusal{-1, "not enough memory for the image"};
    }
}

Result<DecodedImage> decodeJpegBytes(std::span<const std::uint8_t> jpeg) {
    if (jpeg.empty()) return Refusal{-1, "image is empty"};
    std::error_code error;
    const platform::StdioFile memory = platform::openMemoryForReading(jpeg, error);
    if (!memory) return Refusal{-1, "image cannot be opened in memory: " + error.message()};
    DecodedImage image;
    LibraryMessages messages;
    if (!decodeJpeg(memory.get(), image, &messages)) {
        // The library's last word is its fatal error ("Not a JPEG file: starts with 0x25 0x50").
        return Refusal{-1,
                       "image cannot be decoded" + (messages.empty() ? "" : " (" + messages.back() + ")")};
    }
    return image;
}

Result<ImagePreview> previewJpeg(std::span<const std::uint8_t> jpeg, const CorrectionSettings& settings,
                                 const PreviewOptions& options) {
    try {
        std::optional<Result<DecodedImage>> before;  // written by the decoder, read after its join
        std::jthread decoder;
        if (options.decodeBefore) {
            decoder = std::jthread([&before, jpeg] {
                try {
                    before.emplace(decodeJpegBytes(jpeg));
                } catch (const std::bad_alloc&) {
                    before.emplace(Refusal{-1, "not enough memory for the image"});
                }
            });
        }
        Result<BleachedJpeg> bleached = bleachJpeg(jpeg, settings, options);
        if (decoder.joinable()) decoder.join();
        if (!bleached) return bleached.refusal();
        if (before && !*before) return before->refusal();

        ImagePreview preview;
        if (before) preview.before = std::move(before->value());
        preview.bytesBefore = jpeg.size();
        preview.bytesAfter = bleached->bytes.size();
        preview.changed = bleached->changed;
        if (!preview.changed && before) {
            preview.after = preview.before.copy();
            return preview;
        }
        Result<DecodedImage> after = bleached->bilevel
                                         ? decodeBilevel(bleached->bytes, bleached->width, bleached->height)
                                     : bleached->mixed ? decodeMixed(bleached->bytes, bleached->layout)
                                                       : decodeJpegBytes(bleached->bytes);
        if (!after) return after.refusal();
        preview.after = std::move(after.value());
        return preview;
    } catch (const std::bad_alloc&) {
        return Refusal{-1, "not enough memory for the image"};
    } catch (const std::system_error& error) {
        return Refusal{-1, error.what()};  // no thread could be started
    }
}

DecodedImage displayable(DecodedImage image) {
    if (image.components != 4) return image;
    DecodedImage rgb;
    rgb.width = image.width;
    rgb.height = image.height;
    rgb.components = 3;
    rgb.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(rgb.size());
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    const std::uint8_t* in = image.pixels.get();
    std::uint8_t* out = rgb.pixels.get();
    for (std::size_t i = 0; i < pixels; ++i, in += 4, out += 3) {
        out[0] = product(in[0], in[3]);
        out[1] = product(in[1], in[3]);
        out[2] = product(in[2], in[3]);
    }
    return rgb;
}

}  // namespace pagewash
