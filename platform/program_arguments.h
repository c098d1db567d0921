#pragma once
// The program's arguments and console in UTF-8. Linux passes UTF-8 and shows it as it is; Windows passes
// UTF-16 to wmain and shows a console in its own code page, so only the Windows build needs these.

#include <string>
#include <vector>

namespace pagewash::platform {

#ifdef _WIN32
// wmain's arguments, each converted whole, so that a file named in Japanese, in Chinese or with an emoji
// arrives unchanged whatever the console's code page.
std::vector<std::string> argumentsInUtf8(int argc, wchar_t** argv);

// The console shows the program's UTF-8 output as it is until the program exits.
void showUtf8OnConsole();
#endif

}  // namespace pagewash::platform
