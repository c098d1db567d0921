#pragma once
// The preview window's texts, used exactly as they stand by every front end, and the lines it builds.

#include <cstdint>
#include <string>

namespace pagewash {

inline constexpr const char* kPreviewTitle = "プレビュー";
inline constexpr const char* kPreviousImageText = "◀ 前の画像";
inline constexpr const char* kNextImageText = "次の画像 ▶";
inline constexpr const char* kFitText = "全体表示";
inline constexpr const char* kActualSizeText = "1 : 1";
inline constexpr const char* kBeforeCaption = "補正前";
inline constexpr const char* kAfterCaption = "補正後";
inline constexpr const char* kComputingText = "計算中…";
inline constexpr const char* kPreviewOutOfMemoryText = "メモリが足りません。";

// "プレビュー - book.pdf"
std::string previewTitle(const std::string& fileName);
// "画像 2 / 5", or with the size "画像 2 / 5  (2480 × 3508)"; index 0-based.
std::string imagePositionText(int index, int count);
std::string imagePositionText(int index, int count, int width, int height);
// "1,234,567 → 987,654 バイト"
std::string byteSizesText(std::uint64_t before, std::uint64_t after);

}  // namespace pagewash
