#pragma once
// The libjpeg round trip of one image: decode a whole JPEG file into an interleaved 8-bit buffer, encode
// such a buffer as a baseline JFIF JPEG. A fatal libjpeg error ends only the call: the library's message
// goes to standard error and the function returns false. Thread-safe: each call has its own libjpeg objects.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace pagewash {

// height rows top to bottom of width pixels of `components` interleaved samples, rows packed.
struct DecodedImage {
    std::unique_ptr<std::uint8_t[]> pixels;
    int width = 0;
    int height = 0;
    int components = 0;  // output_components: 1 gray, 3 RGB, 4 CMYK

    std::size_t size() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
               static_cast<std::size_t>(components);
    }
};

// Decodes `file` (read from its current position) with the library's default parameters, one scanline
// per call. Returns false after a fatal libjpeg error or when the pixels cannot be allocated; `image` is
// then unspecified. Warnings (a premature end of the data) are printed once and decoding goes on.
bool decodeJpeg(std::FILE* file, DecodedImage& image);

// Encodes components 1 (gray) or 3 (RGB) with jpeg_set_defaults and jpeg_set_quality(quality, baseline),
// all tables written, one scanline per call, to `file`. Returns false after a fatal libjpeg error
// (including a failed write). The caller closes `file`.
bool encodeJpeg(std::FILE* file, const std::uint8_t* pixels, int width, int height, int components,
                int quality);

}  // namespace pagewash
