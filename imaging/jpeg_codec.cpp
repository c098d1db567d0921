#include "imaging/jpeg_codec.h"

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace pagewash {

namespace {

// The library's standard error manager with two changes: what it would print is kept in fixed buffers
// (nothing may allocate inside the library's call), and a fatal error jumps back into the function that
// started the work instead of ending the process. The standard rules of what is output stay: the first
// warning of the object, and the fatal error's message.
struct RecordingErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recoveryPoint;
    static constexpr int kKept = 2;  // a warning and a fatal error
    char kept[kKept][JMSG_LENGTH_MAX];
    int keptCount = 0;

    // Hands the kept messages to `messages` (when given); out of memory, they are dropped.
    void passOn(LibraryMessages* messages) const noexcept {
        if (messages == nullptr) return;
        try {
            for (int i = 0; i < keptCount; ++i) messages->emplace_back(kept[i]);
        } catch (const std::bad_alloc&) {
        }
    }
};

void keepMessage(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<RecordingErrorManager*>(cinfo->err);
    if (manager->keptCount == RecordingErrorManager::kKept) return;
    (*cinfo->err->format_message)(cinfo, manager->kept[manager->keptCount]);
    ++manager->keptCount;
}

[[noreturn]] void jumpOnFatalError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    auto* manager = reinterpret_cast<RecordingErrorManager*>(cinfo->err);
    std::longjmp(manager->recoveryPoint, 1);
}

jpeg_error_mgr* recordingErrors(RecordingErrorManager& manager) {
    jpeg_error_mgr* standard = jpeg_std_error(&manager.standard);
    standard->error_exit = jumpOnFatalError;
    standard->output_message = keepMessage;
    return standard;
}

// Decodes into one whole-image buffer.
class ImageSink final : public ScanlineSink {
  public:
    explicit ImageSink(DecodedImage& image) : m_image(image) {}

    bool begin(int width, int height, int components) noexcept override {
        m_image.width = width;
        m_image.height = height;
        m_image.components = components;
        m_stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
        try {
            m_image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(m_image.size());
            return true;
        } catch (const std::bad_alloc&) {
            m_outOfMemory = true;
            return false;
        }
    }
    bool outOfMemory() const { return m_outOfMemory; }
    std::uint8_t* rowBuffer(int y) noexcept override {
        return m_image.pixels.get() + static_cast<std::size_t>(y) * m_stride;
    }
    void rowDone(int) noexcept override {}

  private:
    DecodedImage& m_image;
    std::size_t m_stride = 0;
    bool m_outOfMemory = false;
};

// Encodes from one whole-image buffer.
class ImageSource final : public ScanlineSource {
  public:
    ImageSource(const std::uint8_t* pixels, std::size_t stride) : m_pixels(pixels), m_stride(stride) {}
    const std::uint8_t* row(int y) noexcept override {
        return m_pixels + static_cast<std::size_t>(y) * m_stride;
    }

  private:
    const std::uint8_t* m_pixels;
    std::size_t m_stride;
};

// A destination that grows a vector, for JPEG data kept in memory. A failed growth ends the encoding
// through the library's own fatal error; the vector is left for its owner to free.
struct VectorDestination {
    jpeg_destination_mgr manager;  // first: the library hands back a pointer to it
    std::vector<std::uint8_t>* out;

    static constexpr std::size_t kStep = 65536;

    static bool grow(j_compress_ptr cinfo, std::size_t size) noexcept {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        try {
            self->out->resize(size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    static void init(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        if (!grow(cinfo, kStep)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        self->manager.next_output_byte = self->out->data();
        self->manager.free_in_buffer = self->out->size();
    }
    static boolean empty(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        const std::size_t used = self->out->size();
        if (!grow(cinfo, used * 2)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        self->manager.next_output_byte = self->out->data() + used;
        self->manager.free_in_buffer = self->out->size() - used;
        return TRUE;
    }
    static void term(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        self->out->resize(self->out->size() - self->manager.free_in_buffer);
    }
};

void useVectorDestination(jpeg_compress_struct& cinfo, VectorDestination& destination,
                          std::vector<std::uint8_t>& out) {
    out.clear();
    destination.out = &out;
    destination.manager.init_destination = VectorDestination::init;
    destination.manager.empty_output_buffer = VectorDestination::empty;
    destination.manager.term_destination = VectorDestination::term;
    cinfo.dest = &destination.manager;
}

}  // namespace

DecodedImage DecodedImage::copy() const {
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.components = components;
    image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(size());
    if (size() > 0) std::memcpy(image.pixels.get(), pixels.get(), size());
    return image;
}

namespace {

// The functions with a setjmp: nothing between it and the library's calls needs a destructor.

bool readHeaderWith(std::FILE* file, JpegHeader& header, RecordingErrorManager& errorManager) {
    jpeg_decompress_struct cinfo;
    cinfo.err = recordingErrors(errorManager);
    if (setjmp(errorManager.recoveryPoint)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_calc_output_dimensions(&cinfo);
    header.width = static_cast<int>(cinfo.output_width);
    header.height = static_cast<int>(cinfo.output_height);
    header.components = cinfo.output_components;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Reads `file`, or `data` when `file` is null.
bool decodeWith(std::FILE* file, std::span<const std::uint8_t> data, ScanlineSink& sink, int scaleDenominator,
                RecordingErrorManager& errorManager) {
    jpeg_decompress_struct cinfo;
    cinfo.err = recordingErrors(errorManager);
    if (setjmp(errorManager.recoveryPoint)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (file != nullptr) {
        jpeg_stdio_src(&cinfo, file);
    } else {
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    }
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scaleDenominator > 1 ? scaleDenominator : 1);
    jpeg_start_decompress(&cinfo);

    if (!sink.begin(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                    cinfo.output_components)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = sink.rowBuffer(y);
        jpeg_read_scanlines(&cinfo, &row, 1);
        sink.rowDone(y);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Hands a gray image's scanlines to the library a block row (eight scanlines) at a time as raw data, in
// place: the library's own path for gray scanlines copies each pixel twice on the way to the DCT, through
// a colour conversion that is a plain byte loop and through the downsampler, which pads the rows. The
// padding is done here as the library does it, so the coefficients and the bytes are the same: the last
// pixel of a row repeated to a whole number of blocks, and the last row repeated to a whole block row.
void writeGrayRows(jpeg_compress_struct& cinfo, ScanlineSource& source) {
    const JDIMENSION width = cinfo.image_width;
    const JDIMENSION paddedWidth = cinfo.comp_info[0].width_in_blocks * DCTSIZE;
    // Rows whose width is not a whole number of blocks are copied into padded rows; freed with cinfo.
    JSAMPARRAY padded = nullptr;
    if (paddedWidth > width) {
        padded = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, paddedWidth,
                                            DCTSIZE);
    }
    JSAMPROW rows[DCTSIZE];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION top = cinfo.next_scanline;
        for (JDIMENSION k = 0; k < DCTSIZE; ++k) {
            if (top + k >= cinfo.image_height) {
                rows[k] = rows[k - 1];
                continue;
            }
            // libjpeg takes non-const rows but only reads them.
            auto* row = const_cast<JSAMPROW>(source.row(static_cast<int>(top + k)));
            if (padded != nullptr) {
                std::memcpy(padded[k], row, width);
                std::memset(padded[k] + width, row[width - 1], paddedWidth - width);
                row = padded[k];
            }
            rows[k] = row;
        }
        JSAMPARRAY planes[1] = {rows};
        jpeg_write_raw_data(&cinfo, planes, DCTSIZE);
    }
}

// Writes to `file`, or to `memory` when `file` is null.
bool encodeWith(std::FILE* file, VectorDestination* memory, std::vector<std::uint8_t>* out,
                ScanlineSource& source, int width, int height, int components, int quality,
                EntropyCoding coding, RecordingErrorManager& errorManager) {
    jpeg_compress_struct cinfo;
    cinfo.err = recordingErrors(errorManager);
    if (setjmp(errorManager.recoveryPoint)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    if (file != nullptr) {
        jpeg_stdio_dest(&cinfo, file);
    } else {
        useVectorDestination(cinfo, *memory, *out);
    }
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (coding.optimize) cinfo.optimize_coding = TRUE;
    if (coding.progressive) jpeg_simple_progression(&cinfo);
    // A gray image goes to the library as raw data (see writeGrayRows).
    cinfo.raw_data_in = components == 1 ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    if (cinfo.raw_data_in) {
        writeGrayRows(cinfo, source);
    } else {
        while (cinfo.next_scanline < cinfo.image_height) {
            // libjpeg takes non-const rows but only reads them.
            JSAMPROW row = const_cast<JSAMPROW>(source.row(static_cast<int>(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool readJpegHeader(std::FILE* file, JpegHeader& header, LibraryMessages* messages) {
    RecordingErrorManager errorManager;
    const bool read = readHeaderWith(file, header, errorManager);
    errorManager.passOn(messages);
    return read;
}

bool decodeJpeg(std::FILE* file, DecodedImage& image, LibraryMessages* messages) {
    ImageSink sink(image);
    const bool decoded = decodeJpeg(file, sink, 1, messages);
    if (sink.outOfMemory() && messages != nullptr) {
        messages->push_back("not enough memory for a " + std::to_string(image.width) + " x " +
                            std::to_string(image.height) + " image");
    }
    return decoded;
}

bool decodeJpeg(std::FILE* file, ScanlineSink& sink, int scaleDenominator, LibraryMessages* messages) {
    RecordingErrorManager errorManager;
    const bool decoded = decodeWith(file, {}, sink, scaleDenominator, errorManager);
    errorManager.passOn(messages);
    return decoded;
}

bool encodeJpeg(std::FILE* file, const std::uint8_t* pixels, int width, int height, int components,
                int quality, EntropyCoding coding, LibraryMessages* messages) {
    ImageSource source(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(components));
    return encodeJpeg(file, source, width, height, components, quality, coding, messages);
}

bool encodeJpeg(std::FILE* file, ScanlineSource& source, int width, int height, int components, int quality,
                EntropyCoding coding, LibraryMessages* messages) {
    RecordingErrorManager errorManager;
    const bool encoded =
        encodeWith(file, nullptr, nullptr, source, width, height, components, quality, coding, errorManager);
    errorManager.passOn(messages);
    return encoded;
}

bool decodeJpeg(std::span<const std::uint8_t> data, DecodedImage& image, LibraryMessages* messages) {
    if (data.empty()) return false;  // the library's memory source refuses an empty buffer fatally
    ImageSink sink(image);
    RecordingErrorManager errorManager;
    const bool decoded = decodeWith(nullptr, data, sink, 1, errorManager);
    errorManager.passOn(messages);
    return decoded;
}

bool encodeJpeg(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width, int height,
                int components, int quality, LibraryMessages* messages) {
    return encodeJpeg(out, pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(components),
                      width, height, components, quality, {}, messages);
}

bool encodeJpeg(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, std::size_t stride, int width,
                int height, int components, int quality, EntropyCoding coding, LibraryMessages* messages) {
    ImageSource source(pixels, stride);
    RecordingErrorManager errorManager;
    VectorDestination destination{};
    const bool encoded = encodeWith(nullptr, &destination, &out, source, width, height, components, quality,
                                    coding, errorManager);
    errorManager.passOn(messages);
    if (!encoded) out.clear();
    return encoded;
}

}  // namespace pagewash
