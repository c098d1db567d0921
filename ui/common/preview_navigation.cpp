#include "ui/common/preview_navigation.h"

#include <utility>

namespace pagewash {

PreviewRequest PreviewNavigation::open(std::string path, const CorrectionSettings& settings) {
    m_path = std::move(path);
    m_settings = settings;
    m_count = 0;
    return request(0, true);
}

std::optional<PreviewRequest> PreviewNavigation::changeSettings(const CorrectionSettings& settings) {
    if (settings == m_settings || m_path.empty()) return std::nullopt;
    m_settings = settings;
    return request(m_index, false);
}

std::optional<PreviewRequest> PreviewNavigation::previous() {
    if (!hasPrevious()) return std::nullopt;
    return request(m_index - 1, false);
}

std::optional<PreviewRequest> PreviewNavigation::next() {
    if (!hasNext()) return std::nullopt;
    return request(m_index + 1, false);
}

bool PreviewNavigation::accept(std::uint64_t generation, int index, int count) {
    if (generation != m_generation) return false;
    m_shownGeneration = generation;
    m_index = index;
    m_count = count;
    return true;
}

PreviewRequest PreviewNavigation::request(int index, bool reread) {
    m_index = index;
    return {++m_generation, m_path, index, m_settings, reread};
}

}  // namespace pagewash
