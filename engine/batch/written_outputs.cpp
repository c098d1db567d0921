#include "engine/batch/written_outputs.h"

#include <filesystem>
#include <system_error>

namespace pagewash {

namespace {

std::string normalPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

}  // namespace

void WrittenOutputs::add(const std::string& input, const std::string& output) {
    m_written.push_back({input, output, normalPath(output)});
}

std::optional<std::string> WrittenOutputs::writerOf(const std::string& output) const {
    const std::string normal = normalPath(output);
    for (const Written& written : m_written) {
        std::error_code error;
        if (written.normalPath == normal || std::filesystem::equivalent(written.output, output, error))
            return written.input;
    }
    return std::nullopt;
}

}  // namespace pagewash
