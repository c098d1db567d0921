#include "engine/batch/batch_front_end.h"

#include <chrono>
#include <thread>

#include "engine/batch/batch_messages.h"

namespace pagewash {

void BatchFrontEnd::outputNotCreated(const std::string& outputPath, const std::string&) {
    showErrorBox(outputNotCreatedMessage(outputPath));
}

void BatchFrontEnd::sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace pagewash
