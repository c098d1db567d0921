#pragma once
// Six unpredictable letters and digits for the names of temporary files and folders, as mkstemp and
// mkdtemp choose them. Windows-only.

#include <string>

namespace pagewash::platform::windows {

std::string randomSuffix();

}  // namespace pagewash::platform::windows
