#include "engine/batch/batch_messages.h"

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

std::string progressText(int index, int count) {
    return std::to_string(index) + " / " + std::to_string(count);
}

}  // namespace pagewash
