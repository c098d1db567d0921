// Writes the seed corpora of the fuzz targets, at build time, from files of the repository (and any
// others named on the command line), so that no seed folder is kept in the repository:
//   OUT/file_job      each PDF given, and small PDFs made here (classic table, indirect /Length,
//                     cross-reference stream, incremental update, two images)
//   OUT/xref          the same PDFs behind a few replaced-range headers (fuzz_inputs.h)
//   OUT/image_worker  small JPEGs made here (gray, colour, progressive, restarts, subsampled, CMYK), the
//                     JPEGs given and those found in the PDFs, each behind a few settings headers
// Usage: make_seeds OUT FILE...  (a FILE that is neither a PDF nor a JPEG, or too large, is skipped).

// jpeglib.h uses size_t and FILE without declaring them.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "engine/images/image_dictionaries.h"
#include "engine/images/jpeg_stream_search.h"
#include "fuzz/fuzz_inputs.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxPdf = std::size_t{256} << 10;
constexpr std::size_t kMaxJpeg = std::size_t{64} << 10;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

Bytes concat(const Bytes& head, const Bytes& tail) {
    Bytes out = head;
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

struct JpegOptions {
    int width = 16;
    int height = 16;
    int components = 3;
    bool progressive = false;
    int restartRows = 0;
    bool subsampled = true;
    int quality = 75;
};

// A JPEG of a gradient with a few edges, made by libjpeg with the options given.
Bytes makeJpeg(const JpegOptions& options) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(options.width);
    info.image_height = static_cast<JDIMENSION>(options.height);
    info.input_components = options.components;
    info.in_color_space = options.components == 1   ? JCS_GRAYSCALE
                          : options.components == 3 ? JCS_RGB
                                                    : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = options.restartRows;
    if (!options.subsampled && options.components == 3) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    Bytes row(static_cast<std::size_t>(options.width * options.components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < options.width; ++x) {
            for (int c = 0; c < options.components; ++c) {
                const int edge = ((x / 5 + y / 3) % 2) * 60;
                row[static_cast<std::size_t>(x * options.components + c)] =
                    static_cast<std::uint8_t>((x * 7 + y * 3 + c * 40 + edge) & 0xFF);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string offset10(std::size_t offset) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010zu", offset);
    return digits;
}

enum class Layout { Classic, IndirectLength, XrefStream, Incremental, TwoImages };

// A one-page PDF drawing the image(s), with cross-reference data of the layout asked for and every
// offset right.
Bytes makePdf(const Bytes& jpeg, Layout layout) {
    Bytes pdf = text("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    std::vector<std::size_t> offsets(1, 0);
    const auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        const Bytes head = text(std::to_string(offsets.size() - 1) + " 0 obj\n" + body);
        pdf.insert(pdf.end(), head.begin(), head.end());
    };
    const auto append = [&](const std::string& s) {
        const Bytes b = text(s);
        pdf.insert(pdf.end(), b.begin(), b.end());
    };
    const int images = layout == Layout::TwoImages ? 2 : 1;
    object("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    object(std::string(
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 16 16] /Resources << /XObject << /Im0 4 0 R") +
           (images == 2 ? " /Im1 5 0 R" : "") + " >> >> /Contents " + std::to_string(4 + images) +
           " 0 R >>\nendobj\n");
    const std::string length = std::to_string(jpeg.size());
    for (int i = 0; i < images; ++i) {
        const std::string lengthValue =
            layout == Layout::IndirectLength ? std::to_string(6 + images) + " 0 R" : length;
        object(
            "<< /Type /XObject /Subtype /Image /Width 16 /Height 16 /ColorSpace /DeviceRGB "
            "/BitsPerComponent 8 /Filter /DCTDecode /Length " +
            lengthValue + " >>\nstream\n");
        pdf.insert(pdf.end(), jpeg.begin(), jpeg.end());
        append("\nendstream\nendobj\n");
    }
    const std::string content = images == 2 ? "q 8 0 0 8 0 0 cm /Im0 Do Q q 8 0 0 8 8 8 cm /Im1 Do Q"
                                            : "q 16 0 0 16 0 0 cm /Im0 Do Q";
    object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
           "\nendstream\nendobj\n");
    if (layout == Layout::IndirectLength) object(length + "\nendobj\n");

    const std::size_t count = offsets.size();
    if (layout == Layout::XrefStream) {
        Bytes rows;
        for (std::size_t i = 0; i <= count; ++i) {
            const std::size_t offset = i == count ? pdf.size() : offsets[i];
            rows.push_back(i == 0 ? 0 : 1);
            for (int shift = 24; shift >= 0; shift -= 8)
                rows.push_back(static_cast<std::uint8_t>(offset >> shift));
            rows.push_back(0);
            rows.push_back(i == 0 ? 0xFF : 0);
        }
        const std::size_t xrefOffset = pdf.size();
        append(std::to_string(count) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(count + 1) +
               " /W [1 4 2] /Root 1 0 R /Length " + std::to_string(rows.size()) + " >>\nstream\n");
        pdf.insert(pdf.end(), rows.begin(), rows.end());
        append("\nendstream\nendobj\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n");
        return pdf;
    }
    const std::size_t xrefOffset = pdf.size();
    append("xref\n0 " + std::to_string(count) + "\n0000000000 65535 f \n");
    for (std::size_t i = 1; i < count; ++i) append(offset10(offsets[i]) + " 00000 n \n");
    append("trailer\n<< /Size " + std::to_string(count) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xrefOffset) + "\n%%EOF\n");
    if (layout == Layout::Incremental) {
        const std::size_t infoOffset = pdf.size();
        append(std::to_string(count) + " 0 obj\n<< /Producer (seed) >>\nendobj\n");
        const std::size_t updateOffset = pdf.size();
        append("xref\n0 1\n0000000000 65535 f \n" + std::to_string(count) + " 1\n" + offset10(infoOffset) +
               " 00000 n \ntrailer\n<< /Size " + std::to_string(count + 1) + " /Root 1 0 R /Info " +
               std::to_string(count) + " 0 R /Prev " + std::to_string(xrefOffset) + " >>\nstartxref\n" +
               std::to_string(updateOffset) + "\n%%EOF\n");
    }
    return pdf;
}

bool startsWith(const Bytes& bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// The JPEGs that the file job would find in `pdf`.
std::vector<Bytes> jpegsIn(const Bytes& pdf) {
    std::vector<Bytes> found;
    std::vector<pagewash::ImageRecord> records = pagewash::findJpegStreams(pdf);
    if (records.empty() || !pagewash::readImageDictionaries(pdf, records)) return found;
    for (const pagewash::ImageRecord& record : records) {
        const auto begin = pdf.begin() + record.jpegOffset;
        found.emplace_back(begin, begin + record.jpegLength);
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_seeds OUT [FILE...]\n");
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* target : {"file_job", "xref", "image_worker"}) fs::create_directories(out / target);

    std::vector<Bytes> jpegs = {
        makeJpeg({}),
        makeJpeg({.components = 1}),
        makeJpeg({.width = 17, .height = 9, .progressive = true}),
        makeJpeg({.width = 33, .height = 20, .restartRows = 1, .subsampled = false, .quality = 95}),
        makeJpeg({.width = 8, .height = 8, .components = 1, .progressive = true, .quality = 10}),
        makeJpeg({.width = 12, .height = 12, .components = 4}),
        makeJpeg({.width = 1, .height = 1}),
    };
    std::vector<Bytes> pdfs;
    for (const Layout layout : {Layout::Classic, Layout::IndirectLength, Layout::XrefStream,
                                Layout::Incremental, Layout::TwoImages}) {
        pdfs.push_back(makePdf(jpegs[static_cast<int>(layout) % 2], layout));
    }
    for (int i = 2; i < argc; ++i) {
        std::error_code error;
        const auto size = fs::file_size(argv[i], error);
        if (error) continue;
        const Bytes bytes = readFile(argv[i]);
        if (startsWith(bytes, {'%', 'P', 'D', 'F'}) && size <= kMaxPdf) pdfs.push_back(bytes);
        if (startsWith(bytes, {0xFF, 0xD8, 0xFF}) && size <= kMaxJpeg) jpegs.push_back(bytes);
    }
    for (std::size_t p = 0, given = pdfs.size(); p < given; ++p) {
        for (Bytes& jpeg : jpegsIn(pdfs[p])) {
            if (jpeg.size() <= kMaxJpeg) jpegs.push_back(std::move(jpeg));
        }
    }

    // Headers: no range; one range in the middle that grows; two ranges, one shrinking.
    const std::vector<Bytes> rangeHeaders = {
        Bytes(pagewash::fuzz::kRangeHeaderBytes, 0),
        {1, 0x00, 0x80, 40, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {2, 0x00, 0x30, 100, 0xF0, 0x00, 0xA0, 8, 20, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    // Settings: the defaults, gray with the median, manual colour with the average at the extremes.
    const std::vector<Bytes> settingsHeaders = {
        {2, 1, 5, 85, 5, 85, 40, 0, 0},
        {3, 2, 0, 100, 20, 60, 90, 2, 2},
        {4, 0, 50, 51, 100, 0, 0, 9, 1},
    };
    for (std::size_t p = 0; p < pdfs.size(); ++p) {
        writeFile(out / "file_job" / ("seed_" + std::to_string(p) + ".pdf"), pdfs[p]);
        for (std::size_t h = 0; h < rangeHeaders.size(); ++h) {
            writeFile(out / "xref" / ("seed_" + std::to_string(p) + "_" + std::to_string(h)),
                      concat(rangeHeaders[h], pdfs[p]));
        }
    }
    for (std::size_t j = 0; j < jpegs.size(); ++j) {
        for (std::size_t h = 0; h < settingsHeaders.size(); ++h) {
            writeFile(out / "image_worker" / ("seed_" + std::to_string(j) + "_" + std::to_string(h)),
                      concat(settingsHeaders[h], jpegs[j]));
        }
    }
    std::printf("make_seeds: %zu PDFs, %zu JPEGs\n", pdfs.size(), jpegs.size());
    return 0;
}
