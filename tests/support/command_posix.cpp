#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/test_tools.h"

namespace pagewash::testing {

CommandResult runCommand(const std::string& command) {
    ScratchDir capture;
    const std::string out = capture.file("out"), err = capture.file("err");
    const int status =
        std::system(("( " + command + " ) </dev/null >" + quote(out) + " 2>" + quote(err)).c_str());
    CommandResult result;
    result.exitStatus = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result.out = toString(readBytes(out));
    result.err = toString(readBytes(err));
    return result;
}

}  // namespace pagewash::testing
