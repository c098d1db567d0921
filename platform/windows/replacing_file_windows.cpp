#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/replacing_file.h"
#include "platform/windows/random_name.h"
#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_error.h"

namespace pagewash::platform {

namespace {

using windows::lastWin32Error;
using windows::toWide;

// The folder part of `path`, its last separator ('/' or '\\') included; empty for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// libjpeg's stdio source and destination and the PDF writer move a few KiB per call; a 64 KiB stream
// buffer turns the hundreds of system calls of a page into a handful.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 16;

// NTFS allows 255 UTF-16 units in a name. The temporary name is short whatever the final one is: a final
// name too long would be found only at the rename, after all the work.
constexpr std::size_t kLongestName = 255;

bool nameFits(const std::string& finalPath) {
    return toWide(finalPath.substr(folderOf(finalPath).size())).size() <= kLongestName;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string finalPath, std::optional<Permissions> permissions)
    : m_finalPath(std::move(finalPath)) {
    if (!nameFits(m_finalPath)) {
        m_error = std::make_error_code(std::errc::filename_too_long);
        return;
    }
    const std::string folder = folderOf(m_finalPath);
    const CleanupHold hold;
    // Read-only is the one permission that maps; a file created read-only is still written through the
    // handle that created it.
    const Permissions mode = permissions ? *permissions : newFilePermissions();
    const DWORD attributes = (mode.bits & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    // CREATE_NEW never opens what is there: neither a file, nor a link or a junction planted under the name.
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        m_tempPath = folder + ".pagewash-" + windows::randomSuffix();
        handle = ::CreateFileW(toWide(m_tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes,
                               nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        m_error = lastWin32Error();
        m_tempPath.clear();
        return;
    }
    m_registration = RemovedOnInterruption(hold, m_tempPath, RemovedOnInterruption::Kind::File);
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        m_error = {errno, std::generic_category()};
        ::CloseHandle(handle);
        discard();
        return;
    }
    if ((m_stream = ::_fdopen(descriptor, "wb")) == nullptr) {
        m_error = {errno, std::generic_category()};
        ::_close(descriptor);
        discard();
        return;
    }
    std::setvbuf(m_stream, nullptr, _IOFBF, kStreamBuffer);
}

bool ReplacingFile::moveOverFinal() {
    if (::MoveFileExW(toWide(m_tempPath).c_str(), toWide(m_finalPath).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    m_error = lastWin32Error();
    return false;
}

}  // namespace pagewash::platform
