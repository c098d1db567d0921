#pragma once
// The pagewash-cli the command-line tests run: the one built beside them, or the program that
// PAGEWASH_CLI_UNDER_TEST names (scripts/test-windows.sh: the Windows build, run by Wine).

#include <cstdlib>
#include <string>

namespace pagewash::testing {

inline std::string cliUnderTest() {
    const char* const other = std::getenv("PAGEWASH_CLI_UNDER_TEST");
    return other != nullptr && *other != '\0' ? other : PAGEWASH_CLI;
}

}  // namespace pagewash::testing
