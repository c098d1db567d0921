#include "preview/pdf_images.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/pdf/file_layer.h"
#include "engine/xref/encryption.h"

namespace pagewash {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

Refusal fileFailure(const CFileException& error) {
    std::string reason = "cannot be read";
    if (error.errorNumber() != 0) reason += std::string(" (") + std::strerror(error.errorNumber()) + ")";
    return {-1, reason};
}

}  // namespace

Result<PdfImages> PdfImages::read(const std::string& path) {
    std::vector<std::uint8_t> buffer;
    try {
        InputFile input(path);
        if (const Result<Done> size = checkFileSize(input.length()); !size)
            return Refusal{-1, describeRefusal(path, size.refusal())};
        buffer = input.readAll();
    } catch (const CFileException& error) {
        return Refusal{-1, describeRefusal(path, fileFailure(error))};
    } catch (const std::bad_alloc&) {
        return Refusal{-1, path + ": not enough memory to read it"};
    }
    if (!isPdf(buffer)) return Refusal{-1, path + ": not a PDF"};
    if (declaresEncryption(buffer)) return Refusal{-1, path + ": encrypted: its images cannot be read"};
    std::vector<ImageRecord> records = findJpegStreams(buffer);
    if (records.empty()) return Refusal{-1, path + ": no JPEG image"};
    if (const Result<Done> dictionaries = readImageDictionaries(buffer, records); !dictionaries)
        return Refusal{-1, describeRefusal(path, dictionaries.refusal())};
    sortImageRecords(records);
    if (const Result<Done> ranges = checkImageRanges(buffer, records); !ranges)
        return Refusal{-1, describeRefusal(path, ranges.refusal())};

    PdfImages images;
    images.m_path = path;
    images.m_ranges.reserve(records.size());
    for (const ImageRecord& record : records)
        images.m_ranges.push_back({record.jpegOffset, record.jpegLength});
    return images;
}

Result<std::vector<std::uint8_t>> PdfImages::jpeg(int index) const {
    const Range& range = m_ranges.at(static_cast<std::size_t>(index));
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(m_path.c_str(), "rb"));
    if (!file) return Refusal{-1, m_path + ": cannot be read (" + std::strerror(errno) + ")"};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(range.length));
    if (std::fseek(file.get(), static_cast<long>(range.offset), SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return Refusal{-1, m_path + ": image " + std::to_string(index + 1) + " at byte " +
                               std::to_string(range.offset) + " cannot be read again"};
    return bytes;
}

}  // namespace pagewash
