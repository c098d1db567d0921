#include "engine/batch/batch_messages.h"

#include <cstdio>

namespace pagewash {

std::string inputNotOpenedMessage(const std::string& inputPath) {
    return "ファイル : " + inputPath +
           "を開けませんでした。\n他に開いているアプリケーションがないか確認して下さい。";
}

std::string outputNotCreatedMessage(const std::string& outputPath) {
    return "ファイル : " + outputPath +
           "を作成できません。\n一度だけ再試行します。\n他に開いているアプリケーションがあれば閉じて、OKを押"
           "して下さい。";
}

std::string internalErrorMessage(const std::string& path, const std::string& what) {
    return path + ": internal error (a fault of Pagewash, not of the file): " + what +
           "; the run was stopped";
}

std::string progressText(int index, int count) {
    return std::to_string(index) + " / " + std::to_string(count);
}

std::string humanSize(std::uint64_t bytes) {
    char text[32];
    const auto value = static_cast<double>(bytes);
    if (bytes >= 1'000'000'000)
        std::snprintf(text, sizeof text, "%.1f GB", value / 1e9);
    else if (bytes >= 1'000'000)
        std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
    else if (bytes >= 1'000)
        std::snprintf(text, sizeof text, "%.1f kB", value / 1e3);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

}  // namespace pagewash
