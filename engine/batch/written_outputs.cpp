#include "engine/batch/written_outputs.h"

#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace pagewash {

namespace {

std::string normalPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path given = platform::pathFromUtf8(path);
    const std::filesystem::path absolute = std::filesystem::absolute(given, error);
    return platform::utf8FromPath((error ? given : absolute).lexically_normal());
}

std::optional<platform::FileIdentity> identityOf(const std::string& path) {
    platform::FileStatus status;
    std::error_code error;
    if (!platform::statusOf(path, status, error)) return std::nullopt;
    return status.identity;
}

}  // namespace

void WrittenOutputs::add(const std::string& input, const std::string& output) {
    m_written.push_back({input, normalPath(output), identityOf(output)});
}

std::optional<std::string> WrittenOutputs::writerOf(const std::string& output) const {
    const std::string normal = normalPath(output);
    const std::optional<platform::FileIdentity> identity = identityOf(output);
    for (const Written& written : m_written) {
        if (written.normalPath == normal || (identity && written.identity == identity)) return written.input;
    }
    return std::nullopt;
}

}  // namespace pagewash
