#include <windows.h>

#include <charconv>
#include <chrono>
#include <filesystem>
#include <utility>

#include "platform/private_folder.h"
#include "platform/windows/random_name.h"
#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_error.h"

namespace pagewash::platform {

namespace {

using windows::lastWin32Error;
using windows::toUtf8;
using windows::toWide;

// The process id in "<prefix>-<pid>-XXXXXX", or 0 when `name` is not such a name.
DWORD ownerProcess(const std::string& name, const std::string& prefix) {
    const std::string lead = prefix + "-";
    if (name.size() < lead.size() + 8 || name.compare(0, lead.size(), lead) != 0) return 0;
    const char* const first = name.data() + lead.size();
    const char* const last = name.data() + name.size();
    unsigned long pid = 0;
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc() || end == first || last - end != 7 || *end != '-' || pid == 0) return 0;
    return static_cast<DWORD>(pid);
}

// A process that another user runs cannot be opened, yet runs.
bool processRuns(DWORD pid) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD status = 0;
    const bool runs = !::GetExitCodeProcess(process, &status) || status == STILL_ACTIVE;
    ::CloseHandle(process);
    return runs;
}

std::wstring lockFileOf(const std::wstring& folder) { return folder + L"\\" + toWide(kFolderLockName); }

// A lock on the first byte of the lock file, without waiting. Wine makes it a record lock of the Linux
// file, which a Linux run's lock conflicts with.
bool lockFile(HANDLE file, DWORD flags) {
    OVERLAPPED range{};
    return ::LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range) != 0;
}

// Whether the folder at `path` may go although its number runs nothing here. Its maker holds a shared
// lock on its lock file for its whole life: the folder goes once an exclusive lock can be taken. A folder
// without a lock file was made by an older version, or is being made: it goes only once unchanged for an
// hour, as a number of a Linux process under Wine proves nothing.
bool letGo(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(lockFileOf(path.wstring()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const bool gone = lockFile(file, LOCKFILE_EXCLUSIVE_LOCK);
        ::CloseHandle(file);  // and with it the lock
        return gone;
    }
    const DWORD reason = ::GetLastError();
    if (reason != ERROR_FILE_NOT_FOUND) return false;  // a sharing violation: its maker holds it
    std::error_code error;
    const auto changed = std::filesystem::last_write_time(path, error);
    return !error &&
           changed + std::chrono::seconds(kUnheldFolderAge) < std::filesystem::file_time_type::clock::now();
}

}  // namespace

FolderHold::~FolderHold() { release(); }

FolderHold::FolderHold(FolderHold&& other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}

FolderHold& FolderHold::operator=(FolderHold&& other) noexcept {
    if (this != &other) {
        release();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

// Without FILE_SHARE_DELETE: the lock file, and so the folder, cannot be removed while it is held.
bool FolderHold::take(const std::string& path, std::error_code& error) {
    release();
    const HANDLE file = ::CreateFileW(lockFileOf(toWide(path)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE || !lockFile(file, 0)) {
        error = lastWin32Error();
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void FolderHold::release() noexcept {
    if (m_handle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_handle, -1)));
}

std::string systemTemporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return ".";
    std::wstring path(folder, length);
    if (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();  // not "C:\"
    return toUtf8(path);
}

std::string makePrivateFolder(const std::string& parent, const std::string& prefix, FolderHold& hold,
                              std::error_code& error) {
    // The temporary folder of a Windows user lies in the user's own profile, where others cannot read:
    // the folder inherits that.
    std::string lead = parent;
    if (!lead.empty() && lead.back() != '/' && lead.back() != '\\') lead += '\\';
    lead += prefix + "-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = lead + windows::randomSuffix();
        if (::CreateDirectoryW(toWide(path).c_str(), nullptr)) {
            if (hold.take(path, error)) return path;
            removeFolder(path);
            return {};
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = lastWin32Error();
    return {};
}

void removeStaleFolders(const std::string& parent, const std::string& prefix) {
    std::error_code error;
    std::filesystem::directory_iterator entries(std::filesystem::path(toWide(parent)), error);
    if (error) return;
    for (const std::filesystem::directory_entry& entry : entries) {
        const DWORD owner = ownerProcess(toUtf8(entry.path().filename().wstring()), prefix);
        if (owner == 0 || owner == ::GetCurrentProcessId()) continue;
        // Not followed: a link or junction planted under the name is never a folder of ours.
        const DWORD attributes = ::GetFileAttributesW(entry.path().c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue;
        if (!processRuns(owner) && letGo(entry.path())) removeFolder(toUtf8(entry.path().wstring()));
    }
}

bool removeFolder(const std::string& path) noexcept {
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(toWide(path)), error);
    return !error;
}

}  // namespace pagewash::platform
