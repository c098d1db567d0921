#pragma once
// Why a PDF is not processed although it is one and has JPEG images: a value the caller reports
// (which file, which byte, why), never a silent skip. Any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace pagewash {

// Why a PDF is not processed although it is one and has JPEG images.
struct FileRefusal {
    std::int64_t offset = 0;  // the byte offset the reason applies to; -1: the file as a whole
    std::string reason;       // e.g. "/Length runs past the end of the file"; its first word names
                              // what stands at `offset`
};
// "book.pdf: /Length at byte 48213 runs past the end of the file" (the offset goes after the
// reason's first word); with offset -1: "book.pdf: file is larger than 2147483647 bytes".
std::string describeRefusal(const std::string& path, const FileRefusal& refusal);

// Offsets are 32-bit: a file longer than INT32_MAX bytes is refused. Call with the input's length
// before reading it; readImageDictionaries checks the buffer again.
std::optional<FileRefusal> checkFileSize(std::int64_t length);

}  // namespace pagewash
