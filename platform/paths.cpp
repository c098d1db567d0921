#include "platform/paths.h"

namespace pagewash::platform {

// char8_t text is converted from UTF-8 on every system: to UTF-16 on Windows, taken as it is on Linux.
std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

}  // namespace pagewash::platform
