#pragma once
// Runs the built pagewash-cli in a test's own folder, with its own temporary directory, and checks that
// neither keeps a temporary file afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_tools.h"

namespace pagewash::testing {

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"img2pdf", "convert", "pdfimages", "pdftotext", "qpdf", "gs"}) {
            if (!toolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
        }
        std::filesystem::create_directory(tmp());
        std::filesystem::create_directory(dir());
    }

    std::string tmp() const { return m_scratch.file("tmp"); }
    std::string dir() const { return m_scratch.file("work"); }
    std::string file(const std::string& name) const { return dir() + "/" + name; }

    // pagewash-cli with these arguments, run in dir() with TMPDIR = tmp().
    CommandResult cli(const std::string& arguments) const {
        return runCommand("cd " + quote(dir()) + " && TMPDIR=" + quote(tmp()) + " " + quote(PAGEWASH_CLI) +
                          " " + arguments);
    }
    // The work folder holds exactly `names` and the temporary directory is empty.
    void expectFolderHolds(std::vector<std::string> names) const {
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listFolder(dir()), names);
        EXPECT_TRUE(listTree(tmp()).empty());
    }

    ScratchDir m_scratch;
};

// The lines of standard error that report a failed file ("pagewash-cli: error: ...").
inline std::vector<std::string> errorLines(const std::string& err) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < err.size()) {
        std::size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        const std::string line = err.substr(start, end - start);
        if (line.rfind("pagewash-cli: error: ", 0) == 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The output path of the edited PDF: the input less its last four characters, then "_edit.pdf".
inline std::string edited(const std::string& path) { return path.substr(0, path.size() - 4) + "_edit.pdf"; }

}  // namespace pagewash::testing
