#include "engine/batch/run_temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "engine/pdf/file_layer.h"

namespace pagewash {

namespace {

std::string systemTemporaryDirectory() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) folder = "/tmp";
    return folder.string();
}

}  // namespace

RunTempDir::RunTempDir(const std::string& root) {
    std::string pattern = root.empty() ? systemTemporaryDirectory() : root;
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += "pagewash-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        const int errorNumber = errno;
        throw CFileException(pattern, errorNumber, "cannot make a temporary folder " + pattern);
    }
    m_path = name.data();
}

RunTempDir::~RunTempDir() {
    // Nothing may escape a destructor; a folder that cannot be removed is left behind.
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string RunTempDir::file(const std::string& name) const { return m_path + "/" + name; }

}  // namespace pagewash
