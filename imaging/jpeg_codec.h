#pragma once
// The libjpeg round trip of one image: decode a whole JPEG file into an interleaved 8-bit buffer, encode
// such a buffer as a baseline JFIF JPEG. A fatal libjpeg error ends only the call: the function returns
// false. Nothing is printed: the library's messages are kept for the caller (LibraryMessages).
// Thread-safe: each call has its own libjpeg objects.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

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
    // A second image with the same pixels.
    DecodedImage copy() const;
};

// Takes the scanlines of a decoding as they come, so that they can be worked on while in the cache. The
// functions are called on the decoding thread, in the order begin, then rowBuffer(y) and rowDone(y) for
// y = 0, 1, ... height - 1. They must not throw.
class ScanlineSink {
  public:
    // The size, once the header is read. Returning false gives the decoding up (it then fails).
    virtual bool begin(int width, int height, int components) noexcept = 0;
    // Where scanline y is to be written: width * components bytes, valid until rowDone(y).
    virtual std::uint8_t* rowBuffer(int y) noexcept = 0;
    // Scanline y is in rowBuffer(y) (filled by the library even where the data ended early).
    virtual void rowDone(int y) noexcept = 0;

  protected:
    ~ScanlineSink() = default;
};

// Hands the rows to be encoded, y = 0, 1, ... height - 1 in order, on the encoding thread.
class ScanlineSource {
  public:
    // Scanline y: width * components bytes, left unchanged until the encoding ends (a gray image is
    // encoded a block row of eight scanlines at a time, read in place). Must not throw.
    virtual const std::uint8_t* row(int y) noexcept = 0;

  protected:
    ~ScanlineSource() = default;
};

// How the entropy coding is done. Both choices leave the decoded pixels exactly as they are (same
// quantisation, sampling and DCT) and change only the bytes: optimized Huffman tables built for the image
// (a second pass over the coefficients), or progressive scans (which a few very old readers show slowly).
struct EntropyCoding {
    bool optimize = false;
    bool progressive = false;
};

// What libjpeg said during one call, in the words its standard error manager prints, one line each: the
// first warning of each object (as the standard manager, which prints only that one) and the message of a
// fatal error. Appended to by the functions below when they are given one; dropped otherwise.
using LibraryMessages = std::vector<std::string>;

// What a JPEG's header says about the image its decoding gives: the size and the number of samples per
// pixel that decodeJpeg produces (1 gray, 3 RGB, 4 CMYK).
struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
};

// Reads only the header of `file` (from its current position), allocating no pixel buffer. False after a
// fatal libjpeg error (not a JPEG, a damaged header).
bool readJpegHeader(std::FILE* file, JpegHeader& header, LibraryMessages* messages = nullptr);

// Decodes `file` (read from its current position) with the library's default parameters, one scanline
// per call. Returns false after a fatal libjpeg error or when the pixels cannot be allocated; `image` is
// then unspecified ("not enough memory for a W x H image" joins `messages` when they failed). Warnings (a
// premature end of the data) are kept and decoding goes on.
bool decodeJpeg(std::FILE* file, DecodedImage& image, LibraryMessages* messages = nullptr);

// The same decoding, the scanlines given to `sink`. Returns false after a fatal libjpeg error or when
// sink.begin said no. A `scaleDenominator` of 2, 4 or 8 decodes the image reduced that many times in
// each direction, through the library's scaled inverse DCT (much faster than the full decoding).
bool decodeJpeg(std::FILE* file, ScanlineSink& sink, int scaleDenominator = 1,
                LibraryMessages* messages = nullptr);

// Encodes components 1 (gray) or 3 (RGB) with jpeg_set_defaults and jpeg_set_quality(quality, baseline),
// all tables written, one scanline per call, to `file`. Returns false after a fatal libjpeg error
// (including a failed write). The caller closes `file`.
// `coding` may ask for optimized tables or progressive scans; the default is the baseline standard.
bool encodeJpeg(std::FILE* file, const std::uint8_t* pixels, int width, int height, int components,
                int quality, EntropyCoding coding = {}, LibraryMessages* messages = nullptr);

// The same encoding, the scanlines taken from `source`.
bool encodeJpeg(std::FILE* file, ScanlineSource& source, int width, int height, int components, int quality,
                EntropyCoding coding = {}, LibraryMessages* messages = nullptr);

// The same decoding of JPEG data held in memory, into one whole-image buffer.
bool decodeJpeg(std::span<const std::uint8_t> data, DecodedImage& image, LibraryMessages* messages = nullptr);

// The same baseline encoding into `out` (replaced; empty after a failure), for images that are kept in
// memory before they are written (the layers of a mixed page).
bool encodeJpeg(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width, int height,
                int components, int quality, LibraryMessages* messages = nullptr);

// The same encoding with `coding`, of rows `stride` bytes apart (a part of a larger image).
bool encodeJpeg(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, std::size_t stride, int width,
                int height, int components, int quality, EntropyCoding coding,
                LibraryMessages* messages = nullptr);

}  // namespace pagewash
