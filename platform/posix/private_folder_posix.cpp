#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
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

}  // namespace

std::string systemTemporaryFolder() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) folder = "/tmp";
    return folder.string();
}

std::string makePrivateFolder(const std::string& parent, const std::string& prefix, std::error_code& error) {
    std::string pattern = parent;
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += prefix + "-" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        error = {errno, std::system_category()};
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
        if (!processRuns(owner)) removeFolder(path);
    }
}

bool removeFolder(const std::string& path) noexcept {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return !error;
}

}  // namespace pagewash::platform
