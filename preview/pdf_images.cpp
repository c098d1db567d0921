#include "preview/pdf_images.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/batch/image_search.h"
#include "engine/pdf/file_layer.h"

namespace pagewash {

namespace {

Refusal fileFailure(const CFileException& error) {
    std::string reason = "cannot be read";
    if (error.error()) reason += " (" + error.cause() + ")";
    return {-1, reason};
}

}  // namespace

Result<PdfImages> PdfImages::read(const std::string& path, bool anyJpeg) {
    std::vector<std::uint8_t> buffer;
    PdfImages images;
    try {
        InputFile input(path);
        if (const Result<Done> size = checkFileSize(input.length()); !size)
            return Refusal{-1, describeRefusal(path, size.refusal())};
        buffer = input.readAll();
        images.m_permissions = input.permissions();
        images.m_identity = input.identity();
    } catch (const CFileException& error) {
        return Refusal{-1, describeRefusal(path, fileFailure(error))};
    } catch (const std::bad_alloc&) {
        return Refusal{-1, path + ": not enough memory to read it"};
    }
    const ImageSearch search = searchPdfImages(buffer, anyJpeg);
    switch (search.outcome) {
        case ImageSearch::Outcome::NotPdf:
            return Refusal{-1, path + ": not a PDF"};
        case ImageSearch::Outcome::NoJpeg:
            return Refusal{-1, path + ": no JPEG image"};
        case ImageSearch::Outcome::Refused:
            return Refusal{-1, describeRefusal(path, search.refusal)};
        case ImageSearch::Outcome::Found:
            break;
    }
    images.m_path = path;
    images.m_ranges.reserve(search.records.size());
    for (const ImageRecord& record : search.records)
        images.m_ranges.push_back({record.jpegOffset, record.jpegLength});
    return images;
}

Result<std::vector<std::uint8_t>> PdfImages::jpeg(int index) const {
    const Range& range = m_ranges.at(static_cast<std::size_t>(index));
    std::error_code error;
    const platform::StdioFile file = platform::openForReading(m_path, error);
    if (!file) return Refusal{-1, m_path + ": cannot be read (" + error.message() + ")"};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(range.length));
    if (std::fseek(file.get(), static_cast<long>(range.offset), SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return Refusal{-1, m_path + ": image " + std::to_string(index + 1) + " at byte " +
                               std::to_string(range.offset) + " cannot be read again"};
    return bytes;
}

}  // namespace pagewash
