#include "imaging/jpeg_codec.h"

#include <jpeglib.h>

#include <csetjmp>
#include <new>

namespace pagewash {

namespace {

// The library's standard error manager with one change: a fatal error prints the library's message as the
// standard one does, then jumps back into the function that started the work instead of ending the process.
struct JumpingErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recoveryPoint;
};

[[noreturn]] void jumpOnFatalError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    auto* manager = reinterpret_cast<JumpingErrorManager*>(cinfo->err);
    std::longjmp(manager->recoveryPoint, 1);
}

// Kept outside the functions with setjmp: an allocation may throw, and those functions must hold no
// object with a destructor.
bool allocatePixels(DecodedImage& image) {
    try {
        image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(image.size());
        return true;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "not enough memory for a %d x %d image\n", image.width, image.height);
        return false;
    }
}

}  // namespace

bool decodeJpeg(std::FILE* file, DecodedImage& image) {
    jpeg_decompress_struct cinfo;
    JumpingErrorManager errorManager;
    cinfo.err = jpeg_std_error(&errorManager.standard);
    errorManager.standard.error_exit = jumpOnFatalError;
    if (setjmp(errorManager.recoveryPoint)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);

    image.width = static_cast<int>(cinfo.output_width);
    image.height = static_cast<int>(cinfo.output_height);
    image.components = cinfo.output_components;
    if (!allocatePixels(image)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const std::size_t stride =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.pixels.get() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool encodeJpeg(std::FILE* file, const std::uint8_t* pixels, int width, int height, int components,
                int quality) {
    jpeg_compress_struct cinfo;
    JumpingErrorManager errorManager;
    cinfo.err = jpeg_std_error(&errorManager.standard);
    errorManager.standard.error_exit = jumpOnFatalError;
    if (setjmp(errorManager.recoveryPoint)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace pagewash
