#pragma once
// The page every benchmark of pagewash-bench works on: by default one made from tests/data, or the JPEG
// named by --page FILE.jpg (a real scan decodes slower than an upscaled one, and every ratio to the
// decoding changes with it).

#include <string>

namespace pagewash::bench {

// The JPEG given with --page; empty when the benchmarks make their own page.
inline std::string& givenPage() {
    static std::string path;
    return path;
}

}  // namespace pagewash::bench
