#pragma once
// The JPEG images of one PDF, numbered as the bleach numbers them (searchPdfImages, as a run finds them
// before it copies them out). Only the ranges are kept; the bytes of one image are read from the file on
// demand. A plain value; any thread, one object per thread.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pdf/refusal.h"
#include "platform/files.h"

namespace pagewash {

class PdfImages {
  public:
    // Reads `path` whole. A refusal ("book.pdf: ...") when it cannot be read, is not a PDF, is encrypted,
    // holds no JPEG image the bleach would take (`anyJpeg` as the run's option), or is one the bleach
    // refuses. Never throws for the file's contents.
    static Result<PdfImages> read(const std::string& path, bool anyJpeg = false);

    const std::string& path() const { return m_path; }
    int count() const { return static_cast<int>(m_ranges.size()); }
    // As the file was when it was read: what a file made from it is given, and which file it is.
    platform::Permissions permissions() const { return m_permissions; }
    const platform::FileIdentity& identity() const { return m_identity; }
    // The input bytes of image `index` (0-based), read again from the file. A refusal when the file
    // can no longer be read or has become shorter. REQUIRES: 0 <= index < count().
    Result<std::vector<std::uint8_t>> jpeg(int index) const;

  private:
    struct Range {
        std::int64_t offset;
        std::int64_t length;
    };
    std::string m_path;
    platform::Permissions m_permissions;
    platform::FileIdentity m_identity;
    std::vector<Range> m_ranges;  // in the bleach's order
};

}  // namespace pagewash
