#pragma once
// Files as the system gives them: opened for reading without ever blocking, created for writing, what an
// open file is (type, size, permissions, identity), removed. Paths are UTF-8 strings. Failures are
// std::error_code values: the system's own, or FileError for the refusals made here.
// Reentrant: any thread may call any function.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <system_error>

namespace pagewash::platform {

enum class FileError {
    NotRegularFile = 1,  // a device, a FIFO, a socket: not a file whose bytes can be read whole
};
const std::error_category& fileErrorCategory();
std::error_code make_error_code(FileError error);

}  // namespace pagewash::platform

template <>
struct std::is_error_code_enum<pagewash::platform::FileError> : std::true_type {};

namespace pagewash::platform {

struct StdioCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
// A stream that closes itself; errors at the close are of no interest to its owner.
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

// Permission bits as POSIX writes them (0644). On Windows only "read-only" has a meaning.
struct Permissions {
    unsigned bits = 0;
    friend bool operator==(Permissions, Permissions) = default;
};

// Which file a name or an open stream is: two names of one file (a hard or a symbolic link) have one
// identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileStatus {
    bool regular = false;
    bool directory = false;
    std::uint64_t size = 0;
    Permissions permissions;
    FileIdentity identity;
};

// Opens an existing file for binary reading. Never waits: a FIFO or a device is opened without blocking
// and refused (FileError::NotRegularFile), a folder gives "is a directory". Null on failure, `error` says
// why.
StdioFile openForReading(const std::string& path, std::error_code& error);
// Creates or truncates `path` for binary writing: an ordinary open, for files inside a private folder
// (replacing_file.h creates files safely elsewhere). Null on failure.
StdioFile openForWriting(const std::string& path, std::error_code& error);

// A stream that reads `bytes` from memory; `bytes` outlive it. Null on failure.
StdioFile openMemoryForReading(std::span<const std::uint8_t> bytes, std::error_code& error);

// What `file` is. False on failure (`error` says why).
bool statusOf(std::FILE* file, FileStatus& status, std::error_code& error);
// What the file named `path` is, links followed. False when it does not exist or cannot be reached.
bool statusOf(const std::string& path, FileStatus& status, std::error_code& error);
// The position of `file` in bytes (what has been written to it, once flushed); -1 on failure.
std::int64_t streamPosition(std::FILE* file);

// Deletes a file; false when it could not be removed. Never throws.
bool removeFile(const std::string& path) noexcept;

// What a newly created file gets: 0666 less the process's umask.
Permissions newFilePermissions();
// What a copy of a file with `permissions` gets, as cp gives it: its permission bits less the umask.
Permissions copyPermissions(Permissions permissions);

// True when trying the same creation again cannot succeed while nothing else changes on the system: a
// name too long, no permission, a read-only file system.
bool retryCannotHelp(const std::error_code& error);

}  // namespace pagewash::platform
