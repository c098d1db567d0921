#pragma once
// The outputs a run has written, so that it never overwrites one of them: two inputs can name the same
// output ("scan1" and "scan2" both give "s_edit.pdf"; "a.pdf" and "./a.pdf"). Used on the batch thread.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace pagewash {

class WrittenOutputs {
  public:
    // `input` has written `output`.
    void add(const std::string& input, const std::string& output);
    // The input that wrote `output` earlier in the run: the same path once made absolute and normal, or
    // the same file where both exist (a link, another spelling of a folder); nothing otherwise.
    std::optional<std::string> writerOf(const std::string& output) const;

  private:
    // An output as it is compared: its path made absolute and normal, and which file it is (where it
    // exists). Found once per output, so a run of many files reads each name once.
    struct Written {
        std::string input;
        std::string normalPath;
        std::optional<platform::FileIdentity> identity;
    };
    std::vector<Written> m_written;
};

}  // namespace pagewash
