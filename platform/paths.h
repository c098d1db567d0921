#pragma once
// std::filesystem paths from and to the UTF-8 strings the program speaks. A path made from a plain
// std::string takes it in the system's narrow encoding: UTF-8 on Linux, but the ANSI code page on
// Windows, where a Japanese name, a Chinese one or an emoji would name another file or none.
// Reentrant.

#include <filesystem>
#include <string>
#include <string_view>

namespace pagewash::platform {

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace pagewash::platform
