#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/files.h"

namespace pagewash::platform {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

void fillStatus(const struct stat& info, FileStatus& status) {
    status.regular = S_ISREG(info.st_mode);
    status.directory = S_ISDIR(info.st_mode);
    status.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    status.permissions = {static_cast<unsigned>(info.st_mode & 07777)};
    status.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Linux reports the umask in /proc/self/status; reading it there leaves it unchanged (umask(2) would
// race with other threads). Elsewhere the common 022 is assumed.
unsigned readUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

// /dev/stdin, /dev/fd/0, /proc/self/fd/0: a name for whatever a descriptor holds (a regular file when the
// shell redirected one), not a file in a folder; an output "beside" it would land in /dev.
bool namesADescriptor(const std::string& path) {
    char target[64];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length > 0 && std::string_view(target, static_cast<std::size_t>(length)).starts_with("/proc/"))
        return true;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    const std::string folder = std::filesystem::canonical(parent.empty() ? "." : parent, error).string();
    return !error && (folder == "/proc" || folder.starts_with("/proc/"));
}

unsigned umaskBits() {
    static const unsigned mask = readUmask();
    return mask;
}

}  // namespace

StdioFile openForReading(const std::string& path, std::error_code& error) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, for ever.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        error = lastError();
        return nullptr;
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        error = lastError();
    } else if (S_ISDIR(info.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
    } else if (!S_ISREG(info.st_mode) || namesADescriptor(path)) {
        error = FileError::NotRegularFile;
    } else {
        // A regular file reads the same with or without O_NONBLOCK; cleared all the same.
        const int flags = ::fcntl(descriptor, F_GETFL);
        if (flags >= 0) ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
        if (std::FILE* stream = ::fdopen(descriptor, "rb")) {
            error.clear();
            return StdioFile(stream);
        }
        error = lastError();
    }
    ::close(descriptor);
    return nullptr;
}

StdioFile openForWriting(const std::string& path, std::error_code& error) {
    StdioFile stream(std::fopen(path.c_str(), "wb"));
    if (!stream) error = lastError();
    return stream;
}

StdioFile openMemoryForReading(std::span<const std::uint8_t> bytes, std::error_code& error) {
    // fmemopen only reads through the pointer in mode "rb".
    StdioFile stream(::fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb"));
    if (!stream) error = lastError();
    return stream;
}

bool statusOf(std::FILE* file, FileStatus& status, std::error_code& error) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) {
        error = lastError();
        return false;
    }
    fillStatus(info, status);
    return true;
}

bool statusOf(const std::string& path, FileStatus& status, std::error_code& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = lastError();
        return false;
    }
    fillStatus(info, status);
    return true;
}

std::int64_t streamPosition(std::FILE* file) { return static_cast<std::int64_t>(::ftello(file)); }

bool removeFile(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

Permissions newFilePermissions() { return {0666 & ~umaskBits()}; }

// cp without --preserve drops the set-user-ID, set-group-ID and sticky bits.
Permissions copyPermissions(Permissions permissions) { return {permissions.bits & 0777 & ~umaskBits()}; }

bool retryCannotHelp(const std::error_code& error) {
    if (error.category() != std::system_category() && error.category() != std::generic_category())
        return false;
    const int value = error.value();
    return value == ENAMETOOLONG || value == EACCES || value == EROFS;
}

}  // namespace pagewash::platform
