#include "engine/images/temp_images.h"

#include <cstdio>
#include <limits>
#include <stdexcept>

namespace pagewash {

std::string tempImageName(int index) {
    char digits[16] = {};
    // At least three digits; more once the count passes 999, so names stay unique.
    std::snprintf(digits, sizeof digits, "%03d", index < 0 ? 0 : index);
    return std::string("_image_") + digits + ".jpg";
}

namespace {

std::vector<std::string> tempImagePaths(const std::string& folder, std::size_t count) {
    std::vector<std::string> paths;
    paths.reserve(count);
    for (std::size_t r = 0; r < count; ++r)
        paths.push_back(folder + "/" + tempImageName(static_cast<int>(r)));
    return paths;
}

}  // namespace

// Delegating: the object is whole before the files are written, so its destructor removes them when
// writing throws.
TempImages::TempImages(const std::string& folder, std::span<const std::uint8_t> buffer,
                       const std::vector<ImageRecord>& records)
    : TempImages(tempImagePaths(folder, records.size())) {
    writeTempImages(buffer, records, m_names);
}

void writeTempImages(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records,
                     const std::vector<std::string>& names) {
    for (std::size_t r = 0; r < records.size(); ++r) {
        const ImageRecord& record = records[r];
        if (record.jpegOffset < 0 || record.jpegLength < 0 ||
            std::int64_t{record.jpegOffset} + record.jpegLength > static_cast<std::int64_t>(buffer.size()))
            throw std::logic_error("writeTempImages: an image range leaves the file");
        OutputFile file(names.at(r));
        file.write(buffer.subspan(static_cast<std::size_t>(record.jpegOffset),
                                  static_cast<std::size_t>(record.jpegLength)));
        file.close();
    }
}

void updateStreamLengths(std::vector<ImageRecord>& records, const std::vector<std::string>& names) {
    for (std::size_t r = 0; r < records.size(); ++r) {
        ImageRecord& record = records[r];
        if (!record.tokens) throw std::logic_error("updateStreamLengths: a record without dictionary tokens");
        InputFile file(names.at(r));
        const std::int64_t length = file.length();
        file.close();
        if (length > std::numeric_limits<std::int32_t>::max())
            throw CFileException(names[r], {},
                                 names[r] + ": corrected image is larger than 2147483647 bytes");
        record.jpegLength = static_cast<std::int32_t>(length);
        writeStreamLength(*record.tokens, record.jpegLength);
    }
}

}  // namespace pagewash
