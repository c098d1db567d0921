#include "cli/standard_output.h"

#include <cerrno>
#include <cstring>

namespace pagewash {

int finishStandardOutput(int status, std::FILE* out, std::FILE* err, int earlierError) {
    errno = 0;
    const bool flushed = std::fflush(out) == 0;
    const int error = earlierError != 0 ? earlierError : flushed ? 0 : errno;
    if (flushed && !std::ferror(out) && earlierError == 0) return status;
    if (error != 0)
        std::fprintf(err, "pagewash-cli: standard output cannot be written (%s)\n", std::strerror(error));
    else
        std::fprintf(err, "pagewash-cli: standard output cannot be written\n");
    return status == 0 ? 1 : status;
}

}  // namespace pagewash
