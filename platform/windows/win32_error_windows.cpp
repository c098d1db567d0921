#include <windows.h>

#include <cerrno>

#include "platform/windows/win32_error.h"

namespace pagewash::platform::windows {

std::error_code win32Error(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return {ENOENT, std::generic_category()};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return {EACCES, std::generic_category()};
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return {EEXIST, std::generic_category()};
        case ERROR_FILENAME_EXCED_RANGE:
            return {ENAMETOOLONG, std::generic_category()};
        case ERROR_WRITE_PROTECT:
            return {EROFS, std::generic_category()};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return {ENOSPC, std::generic_category()};
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return {ENOMEM, std::generic_category()};
        case ERROR_DIRECTORY:
            return {ENOTDIR, std::generic_category()};
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return {EINVAL, std::generic_category()};
        case ERROR_TOO_MANY_OPEN_FILES:
            return {EMFILE, std::generic_category()};
        default:
            return {static_cast<int>(code), std::system_category()};
    }
}

std::error_code lastWin32Error() { return win32Error(::GetLastError()); }

}  // namespace pagewash::platform::windows
