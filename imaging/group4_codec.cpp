#include "imaging/group4_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>

namespace pagewash {

namespace {

// The TIFF file in memory that libtiff reads and writes through the procedures below.
struct MemoryFile {
    std::vector<std::uint8_t> bytes;
    std::uint64_t position = 0;
};

MemoryFile& fileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = fileOf(handle);
    if (size < 0 || file.position >= file.bytes.size()) return 0;
    const auto count =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), file.bytes.size() - file.position);
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = fileOf(handle);
    if (size < 0) return -1;
    const std::uint64_t end = file.position + static_cast<std::uint64_t>(size);
    try {
        if (end > file.bytes.size()) file.bytes.resize(end);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(file.bytes.data() + file.position, buffer, static_cast<std::size_t>(size));
    file.position = end;
    return size;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = fileOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = file.position;
    if (whence == SEEK_END) base = file.bytes.size();
    file.position = base + offset;
    return file.position;
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t handle) { return fileOf(handle).bytes.size(); }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

int dropMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TiffHandle openMemory(MemoryFile& file, const char* mode) {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), dropMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), dropMessage, nullptr);
    return TiffHandle(TIFFClientOpenExt("memory", mode, &file, readProc, writeProc, seekProc, closeProc,
                                        sizeProc, mapProc, unmapProc, options.get()));
}

// The tags of a one-strip Group 4 image whose 1 bits are black.
bool setGroup4Tags(TIFF* tiff, int width, int height) {
    return TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) == 1 &&
           TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height)) == 1 &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1) == 1 &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) == 1 &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) == 1 &&
           TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) == 1 &&
           TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) == 1 &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height)) == 1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeGroup4(const BilevelImage& image) {
    if (image.width <= 0 || image.height <= 0) return std::nullopt;
    MemoryFile file;
    TiffHandle tiff = openMemory(file, "w");
    if (!tiff || !setGroup4Tags(tiff.get(), image.width, image.height)) return std::nullopt;
    // libtiff may code in place: it gets a copy of the bits.
    std::vector<std::uint8_t> bits = image.bits;
    if (TIFFWriteEncodedStrip(tiff.get(), 0, bits.data(), static_cast<tmsize_t>(bits.size())) < 0)
        return std::nullopt;
    if (TIFFWriteDirectory(tiff.get()) != 1) return std::nullopt;
    // The strip's place, as the directory just written records it.
    if (TIFFSetDirectory(tiff.get(), 0) != 1) return std::nullopt;
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tiff.get(), TIFFTAG_STRIPOFFSETS, &offsets) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 || offsets == nullptr ||
        counts == nullptr)
        return std::nullopt;
    const std::uint64_t offset = offsets[0];
    const std::uint64_t count = counts[0];
    tiff.reset();
    if (offset > file.bytes.size() || count > file.bytes.size() - offset) return std::nullopt;
    const auto begin = file.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(count));
}

std::optional<BilevelImage> decodeGroup4(std::span<const std::uint8_t> data, int width, int height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    MemoryFile file;
    {
        TiffHandle tiff = openMemory(file, "w");
        if (!tiff || !setGroup4Tags(tiff.get(), width, height)) return std::nullopt;
        std::vector<std::uint8_t> copy(data.begin(), data.end());
        if (TIFFWriteRawStrip(tiff.get(), 0, copy.data(), static_cast<tmsize_t>(copy.size())) < 0)
            return std::nullopt;
        if (TIFFWriteDirectory(tiff.get()) != 1) return std::nullopt;
    }
    file.position = 0;
    TiffHandle tiff = openMemory(file, "r");
    if (!tiff) return std::nullopt;
    BilevelImage image(width, height);
    const auto size = static_cast<tmsize_t>(image.bits.size());
    if (TIFFReadEncodedStrip(tiff.get(), 0, image.bits.data(), size) != size) return std::nullopt;
    return image;
}

}  // namespace pagewash
