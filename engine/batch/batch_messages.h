#pragma once
// The texts the batch run shows its user, used exactly as they stand. The one definition of each.

#include <cstdint>
#include <string>

namespace pagewash {

inline constexpr const char* kErrorCaption = "Pagewash Error Message";

// "ファイル : " + path + "を開けませんでした。\n他に開いているアプリケーションがないか確認して下さい。"
std::string inputNotOpenedMessage(const std::string& inputPath);
// "ファイル : " + path +
// "を作成できません。\n一度だけ再試行します。\n他に開いているアプリケーションがあれば閉じて、OKを押して下さい。"
std::string outputNotCreatedMessage(const std::string& outputPath);
// "book.pdf: internal error (a fault of Pagewash, not of the file): WHAT; the run was stopped"
std::string internalErrorMessage(const std::string& path, const std::string& what);
// "i / N", each number in decimal.
std::string progressText(int index, int count);

// "20.4 MB", "84.3 kB", "512 bytes": decimal units, one decimal.
std::string humanSize(std::uint64_t bytes);

}  // namespace pagewash
