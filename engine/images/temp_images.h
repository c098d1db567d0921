#pragma once
// The temporary image files of one PDF: their names, their contents before the workers run, and
// their lengths afterwards. Batch thread; the workers rewrite the files in between.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/file_layer.h"

namespace pagewash {

// Owns the temporary image files of one PDF: removes them however the file's processing ends.
class TempImages {
  public:
    // Writes each record's JPEG to folder + "/" + tempImageName(r) (writeTempImages); the files written
    // are removed again when a later one fails. Throws as writeTempImages.
    TempImages(const std::string& folder, std::span<const std::uint8_t> buffer,
               const std::vector<ImageRecord>& records);
    ~TempImages() {
        for (const std::string& name : m_names) removeFile(name);
    }
    TempImages(const TempImages&) = delete;
    TempImages& operator=(const TempImages&) = delete;
    const std::vector<std::string>& names() const { return m_names; }

  private:
    explicit TempImages(std::vector<std::string> names) : m_names(std::move(names)) {}

    std::vector<std::string> m_names;
};

// "_image_" + at least three digits + ".jpg": "_image_000.jpg", "_image_511.jpg", "_image_1000.jpg".
std::string tempImageName(int index);

// Writes each record's input JPEG bytes to names[r] (full paths). Throws CFileException.
// REQUIRES: ranges as checkImageRanges accepts them (std::logic_error otherwise).
void writeTempImages(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records,
                     const std::vector<std::string>& names);

// Takes each temporary file's length as the new jpegLength and writes it into the dictionary.
// Throws CFileException.
void updateStreamLengths(std::vector<ImageRecord>& records, const std::vector<std::string>& names);

}  // namespace pagewash
