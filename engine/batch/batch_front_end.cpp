#include "engine/batch/batch_front_end.h"

#include <chrono>
#include <thread>

#include "engine/batch/batch_messages.h"

namespace pagewash {

std::string imageWarning(int imageNumber, const std::string& message) {
    return "image " + std::to_string(imageNumber) + ": " + message;
}

void BatchFrontEnd::reportImageMessage(const std::string& path, int imageNumber, const std::string& message) {
    reportWarning(path, imageWarning(imageNumber, message));
}

void BatchFrontEnd::outputNotCreated(const std::string& outputPath, const std::string&) {
    showErrorBox(outputNotCreatedMessage(outputPath));
}

void BatchFrontEnd::sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace pagewash
