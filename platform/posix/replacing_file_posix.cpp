#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/replacing_file.h"

namespace pagewash::platform {

namespace {

// libjpeg's stdio source and destination and the PDF writer move a few KiB per call; a 64 KiB stream
// buffer turns the hundreds of system calls of a page into a handful.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;

std::error_code lastError() { return {errno, std::system_category()}; }

std::size_t nameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string temporaryNameBeside(const std::string& finalPath) {
    return finalPath.substr(0, nameStart(finalPath)) + ".pagewash-XXXXXX";
}

// The temporary name is short whatever the final one is: a final name longer than its folder allows
// would be found only at the rename, after all the work.
bool nameFits(const std::string& finalPath) {
    const std::size_t start = nameStart(finalPath);
    const std::string folder = start == 0 ? "." : finalPath.substr(0, start);
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return longest <= 0 || finalPath.size() - start <= static_cast<std::size_t>(longest);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string finalPath, std::optional<Permissions> permissions)
    : m_finalPath(std::move(finalPath)), m_tempPath(temporaryNameBeside(m_finalPath)) {
    if (!nameFits(m_finalPath)) {
        m_error = std::make_error_code(std::errc::filename_too_long);
        m_tempPath.clear();
        return;
    }
    const CleanupHold hold;
    const int descriptor = ::mkostemp(m_tempPath.data(), O_CLOEXEC);
    if (descriptor < 0) {
        m_error = lastError();
        m_tempPath.clear();
        return;
    }
    m_registration = RemovedOnInterruption(hold, m_tempPath, RemovedOnInterruption::Kind::File);
    const Permissions mode = permissions ? *permissions : newFilePermissions();
    if (::fchmod(descriptor, static_cast<mode_t>(mode.bits)) != 0 ||
        (m_stream = ::fdopen(descriptor, "wb")) == nullptr) {
        m_error = lastError();
        ::close(descriptor);
        discard();
        return;
    }
    std::setvbuf(m_stream, nullptr, _IOFBF, kStreamBuffer);
}

bool ReplacingFile::moveOverFinal() {
    if (std::rename(m_tempPath.c_str(), m_finalPath.c_str()) == 0) return true;
    m_error = lastError();
    return false;
}

}  // namespace pagewash::platform
