#include "engine/batch/batch_front_end.h"

#include <chrono>
#include <thread>

namespace pagewash {

void BatchFrontEnd::sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace pagewash
