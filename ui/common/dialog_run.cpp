#include "ui/common/dialog_run.h"

#include <exception>
#include <utility>

#include "engine/batch/batch_options.h"
#include "engine/batch/batch_run.h"
#include "ui/common/dialog_rules.h"

namespace pagewash {

DialogRun::~DialogRun() {
    if (m_thread.joinable()) m_thread.join();
}

void DialogRun::start(BatchFrontEnd& frontEnd, std::vector<std::string> files,
                      std::function<void()> postEnd) {
    m_failure.clear();
    m_ended = false;
    m_thread = std::thread([this, &frontEnd, files = std::move(files), postEnd = std::move(postEnd)] {
        try {
            BatchOptions options;
            options.workerStartPauseMs = kDialogWorkerStartPauseMs;
            BatchRun(frontEnd, files, options);
        } catch (const std::exception& error) {
            m_failure = error.what();
        } catch (...) {
            m_failure = "unknown error";
        }
        m_ended = true;
        postEnd();
    });
}

}  // namespace pagewash
