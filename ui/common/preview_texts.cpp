#include "ui/common/preview_texts.h"

namespace pagewash {
namespace {

// Thousands separated by commas, as in English.
std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

}  // namespace

std::string previewTitle(const std::string& fileName) {
    return std::string(kPreviewTitle) + " - " + fileName;
}

std::string imagePositionText(int index, int count) {
    return "画像 " + std::to_string(index + 1) + " / " + std::to_string(count);
}

std::string imagePositionText(int index, int count, int width, int height) {
    return imagePositionText(index, count) + "  (" + std::to_string(width) + " × " + std::to_string(height) +
           ")";
}

std::string byteSizesText(std::uint64_t before, std::uint64_t after) {
    return grouped(before) + " → " + grouped(after) + " バイト";
}

}  // namespace pagewash
