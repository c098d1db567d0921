// The Windows entry: Windows passes the arguments in UTF-16, the command line reads UTF-8.

#include <string>
#include <vector>

#include "platform/program_arguments.h"

// cli/main.cpp's main, renamed for the Windows build.
int pagewashMain(int argc, char** argv);

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments = pagewash::platform::argumentsInUtf8(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    pagewash::platform::showUtf8OnConsole();
    return pagewashMain(argc, pointers.data());
}
