#include "preview/png_file.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "platform/replacing_file.h"

namespace pagewash {

namespace {

// libpng's error and warning handlers, which print by default: the error is kept for the one line that
// names the file, with the system's reason for a failed write; warnings are of no use to the user.
struct PngFailure {
    char message[128] = {};
    int errorNumber = 0;  // the failed write's errno
};

[[noreturn]] void keepPngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    // libpng's stdio writer says only "Write Error" when fwrite comes short; errno says why.
    failure->errorNumber = std::strcmp(message, "Write Error") == 0 ? errno : 0;
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void dropPngWarning(png_structp, png_const_charp) {}

// The one function with a setjmp: nothing between it and the library's calls needs a destructor.
// Returns false after any libpng error (kept in `failure`), a failed write among them.
bool encodePng(std::FILE* file, const DecodedImage& image, PngFailure& failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, keepPngError, dropPngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // A preview is written once and looked at once: the fastest deflate level keeps the PNG's time
    // small beside the JPEG work (a third of the default level's time, a file a fifth larger).
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 image.components == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const std::size_t stride =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.components);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.pixels.get() + static_cast<std::size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

Result<Done> writePng(const std::string& path, const DecodedImage& image,
                      std::optional<platform::Permissions> permissions) {
    platform::ReplacingFile file(path, permissions);
    if (!file.isOpen()) return Refusal{-1, path + ": cannot be created (" + file.error().message() + ")"};
    PngFailure failure;
    if (!encodePng(file.stream(), image, failure)) {
        const std::string reason = failure.errorNumber != 0
                                       ? std::generic_category().message(failure.errorNumber)
                                       : std::string(failure.message);
        return Refusal{-1, path + ": cannot be written (" + reason + ")"};
    }
    if (!file.commit()) return Refusal{-1, path + ": cannot be written (" + file.error().message() + ")"};
    return Done{};
}

DecodedImage sideBySide(const DecodedImage& left, const DecodedImage& right) {
    DecodedImage both;
    both.components = left.components == 1 && right.components == 1 ? 1 : 3;
    both.width = left.width + right.width;
    both.height = std::max(left.height, right.height);
    both.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(both.size());
    std::memset(both.pixels.get(), 0xFF, both.size());
    const auto stride = static_cast<std::size_t>(both.width) * static_cast<std::size_t>(both.components);
    const auto place = [&](const DecodedImage& part, std::size_t x0) {
        for (int y = 0; y < part.height; ++y) {
            const std::uint8_t* in = part.pixels.get() + static_cast<std::size_t>(y) *
                                                             static_cast<std::size_t>(part.width) *
                                                             static_cast<std::size_t>(part.components);
            std::uint8_t* out = both.pixels.get() + static_cast<std::size_t>(y) * stride +
                                x0 * static_cast<std::size_t>(both.components);
            if (part.components == both.components) {
                std::memcpy(out, in,
                            static_cast<std::size_t>(part.width) * static_cast<std::size_t>(part.components));
                continue;
            }
            for (int x = 0; x < part.width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];  // gray in RGB
        }
    };
    place(left, 0);
    place(right, static_cast<std::size_t>(left.width));
    return both;
}

}  // namespace pagewash
