// pagewash-cli and the files around it: what it refuses to open, how it writes, what an interruption or a
// killed run leaves behind, what it says about an image it could not bleach. Real files, real signals.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/cli_under_test.h"
#include "tests/support/test_tools.h"

extern char** environ;

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

unsigned permissionsOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Waits until `ready` holds (true) or a minute has passed (false): the state is observed, never assumed.
bool waitFor(const std::function<bool()>& ready) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// pagewash-cli started in the background with the usual signal dispositions, stdout to `out` (a path, or
// "|closed": a pipe whose reading end is already closed).
class RunningCli {
  public:
    RunningCli(const std::string& command, const std::string& out, const std::string& err = "/dev/null") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        if (out == "|closed") {
            if (::pipe(pipeEnds) != 0) throw std::runtime_error("no pipe");
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT, 0644);
        }
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, number);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const std::string shell = command;
        char* const argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                              const_cast<char*>(shell.c_str()), nullptr};
        const int failed = posix_spawn(&m_pid, "/bin/sh", &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (pipeEnds[0] >= 0) ::close(pipeEnds[0]), ::close(pipeEnds[1]);
        if (failed != 0) throw std::runtime_error("cannot start " + command);
    }
    ~RunningCli() {
        if (m_pid > 0) ::kill(m_pid, SIGKILL), wait();
    }
    pid_t pid() const { return m_pid; }
    // Stops it and returns once every thread of it has stopped (a SIGSTOP alone only asks).
    void stop() const {
        ::kill(m_pid, SIGSTOP);
        int status = 0;
        ::waitpid(m_pid, &status, WUNTRACED);
    }
    void signal(int number) const { ::kill(m_pid, number); }
    // To its main thread, where the system puts a signal for the process while that thread runs (a
    // stopped process leaves the choice to whichever thread wakes first).
    void signalMainThread(int number) const { ::tgkill(m_pid, m_pid, number); }
    // True once it has ended (its status is then kept for wait()).
    bool ended() {
        if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_pid = 0;
        return m_pid == 0;
    }
    // The exit status, or 128 + the signal that ended it without its own handling.
    int wait() {
        if (m_pid > 0) ::waitpid(std::exchange(m_pid, 0), &m_status, 0);
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
    }

  private:
    pid_t m_pid = 0;
    int m_status = 0;
};

class CliFilesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!toolsInstalled({"img2pdf", "convert", "mkfifo"})) return;
        s_sources = std::make_unique<ScratchDir>();
        const std::string small = s_sources->file("small.jpg"), page = s_sources->file("page.jpg");
        makeJpeg(400, false, small);
        makeJpeg(1500, false, page);
        makeImg2Pdf({small}, s_sources->file("one.pdf"));
        makeImg2Pdf(std::vector<std::string>(24, page), s_sources->file("book.pdf"));
    }
    void SetUp() override { PAGEWASH_REQUIRE_TOOLS({"img2pdf", "convert", "mkfifo", "pdfimages"}); }

    std::string file(const std::string& name) const { return m_work.file(name); }
    void copySource(const std::string& source, const std::string& as) const {
        fs::copy_file(s_sources->file(source), file(as), fs::copy_options::overwrite_existing);
    }
    std::string command(const std::string& arguments) const {
        return "cd " + quote(m_work.path()) + " && umask 022 && TMPDIR=" + quote(m_tmp.path()) + " exec " +
               quote(cliUnderTest()) + " " + arguments;
    }
    CommandResult cli(const std::string& arguments) const { return runCommand(command(arguments)); }
    // The output's temporary file, or "" when there is none.
    std::string outputTemporary() const {
        for (const std::string& name : listFolder(m_work.path()))
            if (name.rfind(".pagewash-", 0) == 0) return name;
        return "";
    }
    bool runFolderHas(const std::string& name) const {
        const std::vector<std::string> folders = listFolder(m_tmp.path());
        return folders.size() == 1 && fileExists(m_tmp.file(folders[0] + "/" + name));
    }

    static inline std::unique_ptr<ScratchDir> s_sources;
    ScratchDir m_work, m_tmp;
};

TEST_F(CliFilesTest, WhatIsNotARegularFileIsRefusedAtOnceAndAPlantedLinkOrTheInputIsNeverWrittenThrough) {
    ASSERT_EQ(runCommand("mkfifo " + quote(file("fifo.pdf"))).exitStatus, 0);
    // A FIFO without a writer would block an open for reading for ever: a minute is a failure.
    for (const char* input : {"fifo.pdf", "/dev/zero"}) {
        const CommandResult result =
            runCommand("timeout 60 sh -c " + quote(command(std::string("-q ") + input)));
        EXPECT_EQ(result.exitStatus, 1) << input;
        EXPECT_THAT(result.err, HasSubstr(std::string(input) + ": cannot be opened: not a regular file"));
        EXPECT_EQ(
            runCommand("timeout 60 sh -c " + quote(command(std::string("--preview 1 ") + input))).exitStatus,
            1)
            << input;
    }
    // Standard input redirected from a file is a regular file, but its name is no file's: nothing may be
    // written beside it, in /dev.
    copySource("one.pdf", "redirected.pdf");
    const CommandResult redirected = runCommand(command("-q /dev/stdin < redirected.pdf"));
    EXPECT_EQ(redirected.exitStatus, 1);
    EXPECT_THAT(redirected.err, HasSubstr("/dev/stdin: cannot be opened: not a regular file"));
    EXPECT_FALSE(fileExists("/dev/s_edit.pdf"));

    // A private input gives a private output, the PDF as the PNG; a link planted at the PNG's name is
    // replaced, its target untouched.
    copySource("one.pdf", "secret.pdf");
    fs::permissions(file("secret.pdf"), fs::perms::owner_read | fs::perms::owner_write);
    writeBytes(file("victim"), toBytes("not a PNG"));
    fs::create_symlink("victim", file("secret_preview_1.png"));
    EXPECT_EQ(cli("-q secret.pdf").exitStatus, 0);
    EXPECT_EQ(cli("--preview 1 secret.pdf").exitStatus, 0);
    EXPECT_EQ(permissionsOf(file("secret_edit.pdf")), 0600u);
    EXPECT_EQ(permissionsOf(file("secret_preview_1.png")), 0600u) << "a file, no longer the link";
    EXPECT_EQ(toString(readBytes(file("victim"))), "not a PNG");
    fs::permissions(file("secret.pdf"), fs::perms(0644));
    EXPECT_EQ(cli("-q secret.pdf").exitStatus, 0);
    EXPECT_EQ(permissionsOf(file("secret_edit.pdf")), 0644u);

    // The input itself, by its name or through a link, is never the PNG.
    const Bytes input = readBytes(file("secret.pdf"));
    fs::create_symlink("secret.pdf", file("link.png"));
    for (const char* out : {"secret.pdf", "link.png"}) {
        const CommandResult result = cli(std::string("--preview 1 --preview-out ") + out + " secret.pdf");
        EXPECT_EQ(result.exitStatus, 2) << out;
        EXPECT_EQ(result.err,
                  "pagewash-cli: " + std::string(out) + " is the input file: the PNG would replace it\n");
    }
    EXPECT_EQ(readBytes(file("secret.pdf")), input);

    // A PNG that cannot be written completely keeps the earlier one, with one line. The file size limit
    // (in 512-byte blocks) is half the side-by-side PNG: room for the image's JPEGs, not for the PNG.
    ASSERT_EQ(cli("--preview 1 --side-by-side secret.pdf").exitStatus, 0);
    const Bytes earlier = readBytes(file("secret_preview_1.png"));
    const CommandResult full = runCommand("trap '' XFSZ; ulimit -f " + std::to_string(earlier.size() / 1024) +
                                          "; " + command("--preview 1 --side-by-side secret.pdf"));
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.err, "pagewash-cli: secret_preview_1.png: cannot be written (File too large)\n");
    EXPECT_EQ(readBytes(file("secret_preview_1.png")), earlier);
    EXPECT_EQ(outputTemporary(), "");
    EXPECT_TRUE(listFolder(m_tmp.path()).empty());
}

TEST_F(CliFilesTest, AnImageTheLibraryWarnsAboutIsNamedInTheWarningsNotPrintedRaw) {
    FixtureImage cut;
    cut.jpeg.resize(cut.jpeg.size() - 4000);  // the entropy-coded data ends early
    writeBytes(file("cut.pdf"), makeFixturePdf({cut}).bytes);
    const CommandResult result = cli("--json cut.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const nlohmann::json report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["warnings"], nlohmann::json::array({"image 1: Premature end of JPEG file"}));
    EXPECT_THAT(result.err, HasSubstr("warning: cut.pdf: image 1: Premature end of JPEG file\n"));
    EXPECT_THAT(result.err, Not(HasSubstr("\nPremature end")));
    EXPECT_THAT(result.err, Not(::testing::StartsWith("Premature end")));
}

TEST_F(CliFilesTest, SignalsRemoveTheRunsTemporaryFilesAndKeepTheEarlierOutput) {
    copySource("book.pdf", "book.pdf");
    const Bytes earlier = toBytes("an earlier output");
    // While the images are worked on (the run folder holds them, no output is begun), and while the
    // output is written (its temporary file holds its first bytes). The process is stopped first, so that the
    // moment is known when the signal is sent; a moment missed is tried again.
    struct Moment {
        int signal;
        bool duringOutput;
    };
    for (const Moment moment : {Moment{SIGINT, false}, Moment{SIGHUP, false}, Moment{SIGTERM, true}}) {
        bool caught = false;
        for (int attempt = 0; attempt < 30 && !caught; ++attempt) {
            writeBytes(file("book_edit.pdf"), earlier);
            RunningCli run(command("-q --jobs 1 book.pdf"), "/dev/null", s_sources->file("err"));
            const auto atMoment = [&] {
                // The output's first bytes are written (an empty one is the check made before the images).
                std::error_code unknown;
                return moment.duringOutput
                           ? !outputTemporary().empty() &&
                                 fs::file_size(file(outputTemporary()), unknown) > 0 && !unknown
                           : runFolderHas("_image_023.jpg");
            };
            ASSERT_TRUE(waitFor([&] { return atMoment() || run.ended(); }));
            if (run.ended()) continue;
            run.stop();
            if (!atMoment() || (!moment.duringOutput && !outputTemporary().empty())) {
                run.signal(SIGCONT);
                run.wait();
                continue;
            }
            caught = true;
            run.signalMainThread(moment.signal);
            run.signal(SIGCONT);
            EXPECT_EQ(run.wait(), 128 + moment.signal);
            EXPECT_TRUE(listFolder(m_tmp.path()).empty()) << "the run folder is removed";
            EXPECT_EQ(outputTemporary(), "");
            EXPECT_EQ(readBytes(file("book_edit.pdf")), earlier) << "signal " << moment.signal;
            EXPECT_EQ(toString(readBytes(s_sources->file("err"))), "") << "nothing fails on the way out";
        }
        EXPECT_TRUE(caught) << "signal " << moment.signal;
    }

    // A closed pipe: the first JSON line ends the run.
    copySource("one.pdf", "a.pdf");
    copySource("one.pdf", "b.pdf");
    RunningCli piped(command("-q --json a.pdf b.pdf"), "|closed");
    EXPECT_EQ(piped.wait(), 128 + SIGPIPE);
    EXPECT_TRUE(listFolder(m_tmp.path()).empty());
    EXPECT_FALSE(fileExists(file("b_edit.pdf")));
}

TEST_F(CliFilesTest, TheFolderOfAKilledRunIsRemovedByTheNextRun) {
    copySource("book.pdf", "book.pdf");
    copySource("one.pdf", "one.pdf");
    RunningCli killed(command("-q --jobs 1 book.pdf"), "/dev/null");
    ASSERT_TRUE(waitFor([&] { return runFolderHas("_image_000.jpg"); }));
    const std::string left = listFolder(m_tmp.path()).at(0);
    EXPECT_EQ(left.rfind("pagewash-" + std::to_string(killed.pid()) + "-", 0), 0u) << left;
    killed.signal(SIGKILL);
    EXPECT_EQ(killed.wait(), 128 + SIGKILL);
    // A folder of a process that still runs (this test's) stays.
    const std::string alive = "pagewash-" + std::to_string(::getpid()) + "-AbCdEf";
    fs::create_directory(m_tmp / alive);
    ASSERT_EQ(cli("-q one.pdf").exitStatus, 0);
    EXPECT_EQ(listFolder(m_tmp.path()), std::vector<std::string>{alive});
}

}  // namespace
}  // namespace pagewash::testing
