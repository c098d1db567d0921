#include "imaging/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <utility>

namespace pagewash {

namespace {

// libjpeg's stdio source and destination and the PDF writer move a few KiB per call; a 64 KiB stream
// buffer turns the hundreds of system calls of a page into a handful.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;

// Linux reports the umask in /proc/self/status; elsewhere the common 022 is assumed.
mode_t readUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

std::string hiddenTemplateBeside(const std::string& finalPath) {
    const std::size_t slash = finalPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return finalPath.substr(0, nameStart) + "." + finalPath.substr(nameStart) + ".XXXXXX";
}

}  // namespace

mode_t newFileMode() {
    static const mode_t mode = 0666 & ~readUmask();
    return mode;
}

ReplacingFile::ReplacingFile(std::string finalPath, mode_t mode)
    : m_finalPath(std::move(finalPath)), m_tempPath(hiddenTemplateBeside(m_finalPath)) {
    const int descriptor = ::mkostemp(m_tempPath.data(), O_CLOEXEC);
    if (descriptor < 0) {
        m_errorNumber = errno;
        m_tempPath.clear();
        return;
    }
    if (::fchmod(descriptor, mode == kNewFileMode ? newFileMode() : mode) != 0 ||
        (m_stream = ::fdopen(descriptor, "wb")) == nullptr) {
        m_errorNumber = errno;
        ::close(descriptor);
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return;
    }
    std::setvbuf(m_stream, nullptr, _IOFBF, kStreamBuffer);
}

ReplacingFile::~ReplacingFile() {
    if (!m_committed) discard();
}

bool ReplacingFile::commit() {
    if (m_stream == nullptr) return false;
    bool written = std::fflush(m_stream) == 0;
    if (!written) m_errorNumber = errno;
    const bool closed = std::fclose(std::exchange(m_stream, nullptr)) == 0;
    if (written && !closed) m_errorNumber = errno;
    written = written && closed;
    if (written && std::rename(m_tempPath.c_str(), m_finalPath.c_str()) == 0) {
        m_committed = true;
        return true;
    }
    if (written) m_errorNumber = errno;
    discard();
    return false;
}

void ReplacingFile::discard() {
    if (m_stream != nullptr) std::fclose(std::exchange(m_stream, nullptr));
    if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

}  // namespace pagewash
