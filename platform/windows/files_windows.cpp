#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "platform/files.h"
#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_error.h"

namespace pagewash::platform {

namespace {

using windows::lastWin32Error;
using windows::toWide;

// Read-only is the one permission a Windows file has: it maps to the POSIX bits of a file nobody writes.
constexpr unsigned kWritable = 0666;
constexpr unsigned kReadOnly = 0444;

std::error_code lastCrtError() { return {errno, std::generic_category()}; }

HANDLE handleOf(std::FILE* file) {
    const int descriptor = ::_fileno(file);
    return descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

bool fillStatus(HANDLE handle, FileStatus& status, std::error_code& error) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        status = FileStatus{};  // a console, a pipe, NUL: neither a file nor a folder
        return true;
    }
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = lastWin32Error();
        return false;
    }
    status.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.regular = !status.directory;
    status.size = status.regular ? (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow : 0;
    status.permissions = {(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? kReadOnly : kWritable};
    status.identity = {info.dwVolumeSerialNumber,
                       (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return true;
}

// A stdio stream over `handle`, which it then owns; the handle is closed on failure.
StdioFile streamOver(HANDLE handle, int flags, const char* mode, std::error_code& error) {
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (descriptor < 0) {
        error = lastCrtError();
        ::CloseHandle(handle);
        return nullptr;
    }
    StdioFile stream(::_fdopen(descriptor, mode));
    if (!stream) {
        error = lastCrtError();
        ::_close(descriptor);
    }
    return stream;
}

}  // namespace

StdioFile openForReading(const std::string& path, std::error_code& error) {
    // Others may read the file meanwhile, nobody may change it. FILE_FLAG_BACKUP_SEMANTICS opens a folder
    // too, so that it is refused as one rather than as "access denied".
    const HANDLE handle =
        ::CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastWin32Error();
        return nullptr;
    }
    FileStatus status;
    if (!fillStatus(handle, status, error)) {
        ::CloseHandle(handle);
        return nullptr;
    }
    if (status.directory || !status.regular) {
        error = status.directory ? std::make_error_code(std::errc::is_a_directory)
                                 : std::error_code(FileError::NotRegularFile);
        ::CloseHandle(handle);
        return nullptr;
    }
    StdioFile stream = streamOver(handle, _O_RDONLY | _O_BINARY, "rb", error);
    if (stream) error.clear();
    return stream;
}

StdioFile openForWriting(const std::string& path, std::error_code& error) {
    StdioFile stream(::_wfopen(toWide(path).c_str(), L"wb"));
    if (!stream) error = lastCrtError();
    return stream;
}

StdioFile openMemoryForReading(std::span<const std::uint8_t> bytes, std::error_code& error) {
    // Windows has no stream over memory: the bytes go to a temporary file that only this stream sees and
    // that the system deletes once it is closed.
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        error = lastWin32Error();
        return nullptr;
    }
    std::random_device random;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        const std::wstring name =
            std::wstring(folder) + L"pagewash-memory-" + std::to_wstring(random()) + L".tmp";
        handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastWin32Error();
        return nullptr;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(handle, bytes.data() + written, chunk, &done, nullptr) || done == 0) {
            error = lastWin32Error();
            ::CloseHandle(handle);
            return nullptr;
        }
        written += done;
    }
    if (::SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        error = lastWin32Error();
        ::CloseHandle(handle);
        return nullptr;
    }
    return streamOver(handle, _O_RDONLY | _O_BINARY, "rb", error);
}

bool statusOf(std::FILE* file, FileStatus& status, std::error_code& error) {
    const HANDLE handle = handleOf(file);
    if (handle == INVALID_HANDLE_VALUE) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    return fillStatus(handle, status, error);
}

bool statusOf(const std::string& path, FileStatus& status, std::error_code& error) {
    // Reading the attributes needs no sharing from others; links and junctions are followed.
    const HANDLE handle = ::CreateFileW(toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastWin32Error();
        return false;
    }
    const bool known = fillStatus(handle, status, error);
    ::CloseHandle(handle);
    return known;
}

std::int64_t streamPosition(std::FILE* file) { return static_cast<std::int64_t>(::_ftelli64(file)); }

bool removeFile(const std::string& path) noexcept {
    const std::wstring name = toWide(path);
    if (::DeleteFileW(name.c_str())) return true;
    // POSIX removes a read-only file from a writable folder; Windows first wants the attribute gone.
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
    ::SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    return ::DeleteFileW(name.c_str()) != 0;
}

Permissions newFilePermissions() { return {kWritable}; }

Permissions copyPermissions(Permissions permissions) {
    return {(permissions.bits & 0222) != 0 ? kWritable : kReadOnly};
}

bool retryCannotHelp(const std::error_code& error) {
    // Compared as conditions: a Win32 code left unmapped (system_category) compares by its errno meaning.
    return error == std::errc::filename_too_long || error == std::errc::permission_denied ||
           error == std::errc::read_only_file_system;
}

}  // namespace pagewash::platform
