#pragma once
// Where the preview window is: the file and settings shown, the image and how many the file has, and
// which request is the newest. Each move returns the request to hand to the preview's worker, or
// nothing when there is nowhere to go; a result counts only when it answers the newest request.
//
// Threads: the window's thread alone.

#include <cstdint>
#include <optional>
#include <string>

#include "settings/correction_settings.h"
#include "ui/common/preview_worker.h"

namespace pagewash {

class PreviewNavigation {
  public:
    // Image 1 of `path` (in the encoding of local file names), reading the file again.
    PreviewRequest open(std::string path, const CorrectionSettings& settings);
    // The image shown again with `settings`; nothing when they are the ones shown or no file is open.
    std::optional<PreviewRequest> changeSettings(const CorrectionSettings& settings);
    std::optional<PreviewRequest> previous();
    std::optional<PreviewRequest> next();
    // Takes the image and count a result of request `generation` shows; false when a newer request is
    // on the way.
    bool accept(std::uint64_t generation, int index, int count);

    const CorrectionSettings& settings() const { return m_settings; }
    int index() const { return m_index; }
    int count() const { return m_count; }
    bool hasPrevious() const { return m_index > 0; }
    bool hasNext() const { return m_index + 1 < m_count; }
    bool isComputing() const { return m_shownGeneration != m_generation; }

  private:
    PreviewRequest request(int index, bool reread);

    std::string m_path;
    CorrectionSettings m_settings;
    int m_index = 0;
    int m_count = 0;
    std::uint64_t m_generation = 0;       // of the newest request
    std::uint64_t m_shownGeneration = 0;  // of the result shown
};

}  // namespace pagewash
