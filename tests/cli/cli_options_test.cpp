#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/cli/cli_fixture.h"

namespace pagewash::testing {
namespace {

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(CliTest, HelpListsEveryOptionWithItsRangeAndDefault) {
    const CommandResult result = cli("--help");
    EXPECT_EQ(result.exitStatus, 0);
    const std::string& help = result.out;
    // Each option's line, and what that line must show.
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"--color-mode", {"none", "auto", "yellowing", "gray", "manual", "=yellowing"}},
        {"--gray-mode", {"none", "auto", "manual", "=auto"}},
        {"--color-black", {"[0 - 100]", "=5\n"}},
        {"--color-white", {"[0 - 100]", "=85\n"}},
        {"--gray-black", {"[0 - 100]", "=5\n"}},
        {"--gray-white", {"[0 - 100]", "=85\n"}},
        {"--quality", {"[0 - 100]", "=40\n"}},
        {"--blur ", {"none", "average", "median", "=none"}},
        {"--blur-strength", {"[1 - 10]", "=1\n"}},
        {"--jobs", {"hardware threads"}},
        {"--quiet", {"-q"}},
        {"--help", {"-h"}},
        {"--version", {}},
    };
    for (const auto& [option, parts] : expected) {
        const std::size_t at = help.find(option);
        ASSERT_NE(at, std::string::npos) << option << " missing from:\n" << help;
        // The option's line and the description under it, with their line ends.
        const std::size_t lineStart = help.rfind('\n', at) + 1;
        const std::size_t firstEnd = help.find('\n', at);
        const std::string line = help.substr(lineStart, help.find('\n', firstEnd + 1) + 1 - lineStart);
        for (const std::string& part : parts)
            EXPECT_NE(line.find(part), std::string::npos) << option << ": " << line;
    }
    EXPECT_NE(help.find("FILE"), std::string::npos);
}

TEST_F(CliTest, VersionIs122) {
    const CommandResult result = cli("--version");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "1.2.2\n");
}

TEST_F(CliTest, UsageErrorsExitTwoWithOneLineAndTouchNoFile) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("book.pdf"));
    const auto before = readBytes(file("book.pdf"));
    const char* cases[] = {
        "",                            // no file
        "-q",                          // still no file
        "--color-black 101 book.pdf",  // out of range
        "--color-white -1 book.pdf",
        "--gray-black 200 book.pdf",
        "--gray-white x book.pdf",  // not a number
        "--quality 101 book.pdf",
        "--blur-strength 0 book.pdf",
        "--blur-strength 11 book.pdf",
        "--jobs 0 book.pdf",
        "--color-mode sepia book.pdf",  // not one of the modes
        "--gray-mode yellowing book.pdf",
        "--blur gaussian book.pdf",
        "--frobnicate book.pdf",  // unknown option
        "book.pdf --quality",     // value missing
    };
    for (const char* arguments : cases) {
        const CommandResult result = cli(arguments);
        EXPECT_EQ(result.exitStatus, 2) << arguments;
        EXPECT_EQ(lineCount(result.err), 1) << arguments << ": " << result.err;
        EXPECT_EQ(result.err.rfind("pagewash-cli: ", 0), 0u) << arguments << ": " << result.err;
        EXPECT_TRUE(result.out.empty()) << arguments;
        expectFolderHolds({"book.pdf", "page.jpg"});
        EXPECT_EQ(readBytes(file("book.pdf")), before) << arguments;
    }
}

TEST_F(CliTest, EveryOptionValueInRangeIsAccepted) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 48, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("book.pdf"));
    const char* cases[] = {
        "--color-mode none --gray-mode none",
        "--color-mode manual --color-black 0 --color-white 100",
        "--color-mode gray --gray-mode manual --gray-black 100 --gray-white 0",
        "--quality 0 --blur median --blur-strength 10 --jobs 1",
        "--quality 100 --blur average --blur-strength 1 --jobs 64",
        "--color-mode=auto --gray-mode=auto",
    };
    for (const char* arguments : cases) {
        const CommandResult result = cli(std::string(arguments) + " -q book.pdf");
        EXPECT_EQ(result.exitStatus, 0) << arguments << ": " << result.err;
        EXPECT_TRUE(errorLines(result.err).empty()) << arguments << ": " << result.err;
        EXPECT_EQ(pageCount(file("book_edit.pdf")), 1) << arguments;
    }
}

}  // namespace
}  // namespace pagewash::testing
