#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/private_folder.h"

namespace pagewash::platform {

namespace {

// The process id in "<prefix>-<pid>-XXXXXX", or 0 when `name` is not such a name.
pid_t ownerProcess(const std::string& name, const std::string& prefix) {
    const std::string lead = prefix + "-";
    if (name.size() < lead.size() + 8 || name.compare(0, lead.size(), lead) != 0) return 0;
    const char* const first = name.data() + lead.size();
    const char* const last = name.data() + name.size();
    long pid = 0;
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc() || end == first || last - end != 7 || *end != '-' || pid <= 0) return 0;
    return static_cast<pid_t>(pid);
}

bool processRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// The folder itself, never a link planted under its name.
int openFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A lock on the first byte of the folder's lock file, without waiting. Record locks, not flock: Wine
// takes a Windows program's LockFileEx as one, so a Linux and a Windows run see each other's; the
// descriptor's own kind (OFD) so that two descriptors of one process conflict too.
bool lockFile(int file, short kind) {
    struct flock range {};
    range.l_type = kind;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 1;
    return ::fcntl(file, F_OFD_SETLK, &range) == 0;
}

// Whether the folder at `path` may go although its number runs nothing here. Its maker holds a shared
// lock on its lock file for its whole life: the folder goes once an exclusive lock can be taken. A folder
// without a lock file was made by an older version, or is being made: it goes only once unchanged for an
// hour, as a number of another namespace proves nothing.
bool letGo(const std::string& path) {
    const int folder = openFolder(path);
    if (folder < 0) return false;
    const int file = ::openat(folder, kFolderLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    bool gone = false;
    if (file >= 0) {
        gone = lockFile(file, F_WRLCK);
        ::close(file);
    } else if (errno == ENOENT) {
        struct stat info {};
        gone = ::fstat(folder, &info) == 0 && info.st_mtime + kUnheldFolderAge < std::time(nullptr);
    }
    ::close(folder);
    return gone;
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

bool FolderHold::take(const std::string& path, std::error_code& error) {
    release();
    const std::string name = path + "/" + kFolderLockName;
    const int file = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0 || !lockFile(file, F_RDLCK)) {
        error = {errno, std::system_category()};
        if (file >= 0) ::close(file);
        return false;
    }
    m_handle = file;
    return true;
}

void FolderHold::release() noexcept {
    if (m_handle >= 0) ::close(static_cast<int>(std::exchange(m_handle, -1)));
}

std::string systemTemporaryFolder() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) folder = "/tmp";
    return folder.string();
}

std::string makePrivateFolder(const std::string& parent, const std::string& prefix, FolderHold& hold,
                              std::error_code& error) {
    std::string pattern = parent;
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += prefix + "-" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        error = {errno, std::system_category()};
        return {};
    }
    if (!hold.take(name.data(), error)) {
        removeFolder(name.data());
        return {};
    }
    return name.data();
}

void removeStaleFolders(const std::string& parent, const std::string& prefix) {
    std::error_code error;
    std::filesystem::directory_iterator entries(parent, error);
    if (error) return;
    const uid_t user = ::geteuid();
    for (const std::filesystem::directory_entry& entry : entries) {
        const std::string path = entry.path().string();
        const pid_t owner = ownerProcess(entry.path().filename().string(), prefix);
        if (owner == 0 || owner == ::getpid()) continue;
        struct stat info {};
        // Not followed: a link planted under the name is never a folder of ours.
        if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != user) continue;
        if (!processRuns(owner) && letGo(path)) removeFolder(path);
    }
}

bool removeFolder(const std::string& path) noexcept {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return !error;
}

}  // namespace pagewash::platform
