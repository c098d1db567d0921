#include "platform/replacing_file.h"

#include <cerrno>
#include <utility>

namespace pagewash::platform {

namespace {

// The C library reports a failed flush or close in errno, on every system.
std::error_code lastStreamError() { return {errno, std::generic_category()}; }

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (!m_committed) discard();
}

bool ReplacingFile::commit() {
    if (m_stream == nullptr) return false;
    bool written = std::fflush(m_stream) == 0;
    if (!written) m_error = lastStreamError();
    const bool closed = std::fclose(std::exchange(m_stream, nullptr)) == 0;
    if (written && !closed) m_error = lastStreamError();
    written = written && closed;
    if (written) {
        // The move and the registration's end are one step for an interruption's cleanup.
        const CleanupHold hold;
        if (moveOverFinal()) {
            m_registration.release();
            m_committed = true;
            return true;
        }
    }
    discard();
    return false;
}

void ReplacingFile::discard() {
    if (m_stream != nullptr) std::fclose(std::exchange(m_stream, nullptr));
    if (!m_tempPath.empty()) removeFile(m_tempPath);
    m_tempPath.clear();
    m_registration.release();
}

}  // namespace pagewash::platform
