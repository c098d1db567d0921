// The native dialog made for real and driven with window messages: what the user sees at the start,
// the list's drop and double-click rules, the mode and slider rules, a run (locking, progress, output
// byte for byte that of pagewash-cli.exe) and the message boxes with their captions and texts. Every
// box is closed by the watcher; one that a test does not expect fails it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/batch/batch_messages.h"
#include "platform/windows/wide_strings.h"
#include "tests/win32_dialog/dialog_driver.h"
#include "ui/common/control_ids.h"
#include "ui/common/dialog_rules.h"
#include "ui/common/dialog_template.h"
#include "ui/common/preview_texts.h"
#include "ui/windows/preview_window.h"

namespace pagewash::testing {
namespace {

namespace c = control;
namespace fs = std::filesystem;
using platform::windows::toUtf8;
using platform::windows::toWide;

constexpr const char* kSmallColorPdf = "samplefiles_imagemagick-images.pdf";
// The context bit of a key message: Alt is held.
constexpr LPARAM kAltDown = 1 << 29;

using Bytes = std::vector<char>;

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the system's temporary folder, removed with its files at the end.
class ScratchDir {
  public:
    ScratchDir()
        : m_path(fs::temp_directory_path() / ("pagewash-dialog-" + std::to_string(GetCurrentProcessId()) +
                                              "-" + std::to_string(++s_count))) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    fs::path operator/(const std::string& name) const { return m_path / fs::u8path(name); }

  private:
    static inline int s_count = 0;
    fs::path m_path;
};

class Win32DialogTest : public ::testing::Test {
  protected:
    void TearDown() override {
        driver.pump();
        for (const SeenBox& box : driver.boxes().takeBoxes())
            ADD_FAILURE() << "unexpected message box \"" << toUtf8(box.caption) << "\": " << toUtf8(box.text);
    }

    // The one box that the last action showed.
    SeenBox onlyBox() {
        std::vector<SeenBox> boxes;
        EXPECT_TRUE(driver.pumpUntil([&] {
            for (SeenBox& box : driver.boxes().takeBoxes()) boxes.push_back(std::move(box));
            return !boxes.empty();
        })) << "no message box";
        driver.pumpUntil([] { return false; }, 0);
        for (SeenBox& box : driver.boxes().takeBoxes()) boxes.push_back(std::move(box));
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? SeenBox{} : boxes.front();
    }

    fs::path copyOfData(const ScratchDir& folder, const std::string& name) {
        const fs::path copy = folder / name;
        fs::copy_file(fs::path(PAGEWASH_TEST_DATA_DIR) / name, copy);
        return copy;
    }

    DialogDriver driver;
};

TEST_F(Win32DialogTest, StartsWithTheHintLineAndTheDefaultsAndWarnsOfAnEmptyList) {
    EXPECT_EQ(driver.listLines(), std::vector<std::wstring>{toWide(kHintItemText)});
    EXPECT_EQ(driver.text(c::kCompressionBox), L"40");
    EXPECT_EQ(driver.text(c::kColorBlackBox), L"5");
    EXPECT_EQ(driver.text(c::kColorWhiteBox), L"85");
    EXPECT_EQ(driver.text(c::kBlurStrengthBox), L"1");
    EXPECT_EQ(IsDlgButtonChecked(driver.dialog().window(), c::kColorYellowing), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(driver.dialog().window(), c::kGrayAuto), BST_CHECKED);
    EXPECT_FALSE(driver.enabled(c::kColorBlackSlider));
    EXPECT_TRUE(driver.enabled(c::kColorBlackBox));
    wchar_t title[64] = {};
    GetWindowTextW(driver.dialog().window(), title, 64);
    EXPECT_EQ(std::wstring(title), toWide(kDialogTitle));

    driver.click(c::kBleachButton);
    const SeenBox box = onlyBox();
    EXPECT_EQ(box.caption, toWide(kEmptyListCaption));
    EXPECT_EQ(box.text, toWide(kEmptyListText));
    // Alt+S and Enter press the bleach button too, as the dialog manager delivers them.
    const HWND list = driver.control(c::kFileList);
    PostMessageW(list, WM_SYSCHAR, L's', kAltDown);
    EXPECT_EQ(onlyBox().text, toWide(kEmptyListText));
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(onlyBox().text, toWide(kEmptyListText));
    EXPECT_FALSE(driver.dialog().isRunning());
}

TEST_F(Win32DialogTest, DoubleClickOnTheHintLineOpensTheSystemFileDialogOwnedByTheDialog) {
    driver.doubleClickLine(0);  // returns once the watcher has closed the file dialog
    const SeenBox fileDialog = onlyBox();
    EXPECT_FALSE(fileDialog.caption.empty());
    EXPECT_EQ(driver.listLines().size(), 1u);
}

TEST_F(Win32DialogTest, DropListsPdfAndJpgNamesAsDeliveredCutAtTheLimit) {
    // Cut to the limit, the first ends in ".pd" and is passed over; the second ends in "pdf" and is listed.
    const auto limit = static_cast<std::size_t>(kMaxDroppedNameLength);
    const std::wstring endsInPdfWhole = L"C:\\" + std::wstring(limit - 6, L'x') + L".pdf";
    const std::wstring endsInPdfOnceCut = L"C:\\" + std::wstring(limit - 6, L'y') + L"pdf.txt";
    driver.drop({L"C:\\scans\\A.PDF", L"C:\\scans\\b.Jpg", L"C:\\scans\\c.txt", L"C:\\scans\\A.PDF",
                 L"C:\\スキャン\\本.pdf", endsInPdfWhole, endsInPdfOnceCut});
    EXPECT_EQ(driver.listLines(),
              (std::vector<std::wstring>{toWide(kHintItemText), L"C:\\scans\\A.PDF", L"C:\\scans\\b.Jpg",
                                         L"C:\\scans\\A.PDF", L"C:\\スキャン\\本.pdf",
                                         endsInPdfOnceCut.substr(0, limit)}));
    // The long line can be scrolled to.
    RECT client = {};
    GetClientRect(driver.control(c::kFileList), &client);
    EXPECT_GT(SendMessageW(driver.control(c::kFileList), LB_GETHORIZONTALEXTENT, 0, 0), client.right);
}

TEST_F(Win32DialogTest, DoubleClicksOpenTheChooserOnTheHintLineAndRemoveAFileLine) {
    int chooserOpened = 0;
    driver.dialog().setFileChooser([&](HWND owner) {
        ++chooserOpened;
        EXPECT_EQ(owner, driver.dialog().window());
        return std::vector<std::wstring>{L"C:\\scan.jpeg", L"C:\\scan.JPG"};
    });
    driver.doubleClickLine(0);
    EXPECT_EQ(chooserOpened, 1);
    EXPECT_EQ(driver.listLines(), (std::vector<std::wstring>{toWide(kHintItemText), L"C:\\scan.JPG"}));

    driver.drop({L"C:\\two.pdf"});
    driver.doubleClickLine(1);
    EXPECT_EQ(driver.listLines(), (std::vector<std::wstring>{toWide(kHintItemText), L"C:\\two.pdf"}));
    driver.doubleClickLine(0);
    EXPECT_EQ(chooserOpened, 2);
    EXPECT_EQ(driver.listLines().front(), toWide(kHintItemText));
}

TEST_F(Win32DialogTest, ModesEnableTheReferencesAndSlidersPushTheirPair) {
    driver.click(c::kColorManual);
    EXPECT_TRUE(driver.enabled(c::kColorBlackSlider));
    EXPECT_TRUE(driver.enabled(c::kColorWhiteSlider));
    driver.click(c::kColorAuto);
    for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kColorBlackBox, c::kColorWhiteBox})
        EXPECT_FALSE(driver.enabled(id)) << id;
    driver.click(c::kColorManual);
    EXPECT_TRUE(driver.enabled(c::kColorBlackSlider));
    EXPECT_FALSE(driver.enabled(c::kColorBlackBox));

    driver.moveSlider(c::kColorBlackSlider, 90);
    ASSERT_TRUE(driver.pumpUntil([&] { return driver.text(c::kColorWhiteBox) == L"91"; }));
    EXPECT_EQ(driver.text(c::kColorBlackBox), L"90");
    EXPECT_EQ(driver.sliderPosition(c::kColorWhiteSlider), 91);

    driver.moveSlider(c::kColorWhiteSlider, 90);
    driver.moveSlider(c::kColorBlackSlider, 100);
    // White goes to 100, and its own move then lowers black to 99.
    ASSERT_TRUE(driver.pumpUntil([&] { return driver.text(c::kColorBlackBox) == L"99"; }));
    EXPECT_EQ(driver.text(c::kColorWhiteBox), L"100");

    driver.moveSlider(c::kCompressionSlider, 75);
    EXPECT_EQ(driver.text(c::kCompressionBox), L"75");
    driver.moveSlider(c::kBlurStrengthSlider, 12);
    EXPECT_EQ(driver.text(c::kBlurStrengthBox), L"10");
}

TEST_F(Win32DialogTest, RunLocksTheControlsShowsProgressAndWritesWhatTheCommandLineWrites) {
    ScratchDir byDialog;
    ScratchDir byCommandLine;
    const fs::path input = copyOfData(byDialog, kSmallColorPdf);
    const fs::path reference = copyOfData(byCommandLine, kSmallColorPdf);
    driver.drop({input.wstring()});
    driver.click(c::kColorManual);
    driver.moveSlider(c::kColorBlackSlider, 20);
    driver.moveSlider(c::kColorWhiteSlider, 80);
    driver.moveSlider(c::kCompressionSlider, 60);
    driver.click(c::kBlurMedian);
    driver.moveSlider(c::kBlurStrengthSlider, 3);

    driver.click(c::kBleachButton);
    driver.click(c::kBleachButton);  // a second press before the run has locked starts nothing
    ASSERT_TRUE(driver.pumpUntil([&] { return driver.text(c::kProgressBox) == L"1 / 1"; }));
    for (int id : controlsLockedByRun()) EXPECT_FALSE(driver.enabled(id)) << id;
    for (int id : {c::kBlurNone, c::kBlurAverage, c::kBlurMedian, c::kBlurStrengthSlider})
        EXPECT_TRUE(driver.enabled(id)) << id;
    SendMessageW(driver.dialog().window(), WM_CLOSE, 0, 0);  // refused during the run
    EXPECT_NE(driver.dialog().window(), nullptr);

    ASSERT_TRUE(driver.pumpUntil([&] { return driver.dialog().finishedRuns() == 1; }));
    EXPECT_EQ(driver.text(c::kProgressBox), L"");
    for (int id : controlsUnlockedAfterRun(driver.dialog().values())) EXPECT_TRUE(driver.enabled(id)) << id;

    const fs::path cli = fs::path(PAGEWASH_BINARY_DIR) / "cli" / "pagewash-cli.exe";
    std::wstring command =
        L"\"" + cli.wstring() +
        L"\" --color-mode manual --color-black 20 --color-white 80 --quality 60 --blur median "
        L"--blur-strength 3 \"" +
        reference.wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);

    const Bytes written = readBytes((byDialog / "samplefiles_imagemagick-images_edit.pdf"));
    ASSERT_FALSE(written.empty());
    EXPECT_TRUE(written == readBytes((byCommandLine / "samplefiles_imagemagick-images_edit.pdf")));
    EXPECT_FALSE(written == readBytes(input));
}

TEST_F(Win32DialogTest, AnInputThatCannotBeOpenedIsNamedInTheErrorBox) {
    ScratchDir folder;
    const fs::path missing = folder / "見つからない.pdf";
    driver.drop({missing.wstring()});
    driver.click(c::kBleachButton);
    const SeenBox box = onlyBox();
    EXPECT_EQ(box.caption, toWide(kErrorCaption));
    EXPECT_EQ(box.text, toWide(inputNotOpenedMessage(toUtf8(missing.wstring()))));
    ASSERT_TRUE(driver.pumpUntil([&] { return driver.dialog().finishedRuns() == 1; }));
    EXPECT_TRUE(driver.enabled(c::kBleachButton));
    EXPECT_TRUE(driver.enabled(c::kFileList));
}

TEST_F(Win32DialogTest, AFileTheRunRefusesIsNamedInOneErrorBoxAtTheEnd) {
    ScratchDir folder;
    Bytes pdf = readBytes(fs::path(PAGEWASH_TEST_DATA_DIR) / kSmallColorPdf);
    // The first image's length, made to run past the end of the file.
    const std::string indirect = "/Length 57 0 R";
    const auto at = std::search(pdf.begin(), pdf.end(), indirect.begin(), indirect.end());
    ASSERT_NE(at, pdf.end());
    const std::string pastTheEnd = "/Length 999999";
    std::copy(pastTheEnd.begin(), pastTheEnd.end(), at);
    const fs::path damaged = folder / "damaged.pdf";
    std::ofstream(damaged, std::ios::binary).write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
    driver.drop({damaged.wstring()});
    driver.click(c::kBleachButton);
    const SeenBox box = onlyBox();
    EXPECT_EQ(box.caption, toWide(kErrorCaption));
    EXPECT_EQ(box.text.rfind(toWide(kRefusedFilesText), 0), 0u) << toUtf8(box.text);
    EXPECT_NE(box.text.find(L"damaged.pdf"), std::wstring::npos) << toUtf8(box.text);
    ASSERT_TRUE(driver.pumpUntil([&] { return driver.dialog().finishedRuns() == 1; }));
    EXPECT_FALSE(fs::exists(folder / "damaged_edit.pdf"));
}

TEST_F(Win32DialogTest, SpaceOnAFileLineOpensThePreviewWhichFollowsTheSettings) {
    ScratchDir folder;
    driver.drop({copyOfData(folder, kSmallColorPdf).wstring()});
    const HWND list = driver.control(c::kFileList);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(driver.dialog().previewWindow(), nullptr);  // not on the hint line
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    win32::PreviewWindow* preview = driver.dialog().previewWindow();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(driver.pumpUntil([&] { return !preview->isComputing(); }));
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->stateText(), L"");
    EXPECT_EQ(preview->imageCount(), 2);
    EXPECT_EQ(preview->imageText().rfind(toWide(imagePositionText(0, 2)) + L"  (", 0), 0u)
        << toUtf8(preview->imageText());
    EXPECT_EQ(preview->sizeText().substr(preview->sizeText().size() - 4), L" バイト");

    const HWND next = FindWindowExW(preview->window(), nullptr, L"BUTTON", toWide(kNextImageText).c_str());
    SendMessageW(next, BM_CLICK, 0, 0);
    ASSERT_TRUE(driver.pumpUntil([&] { return !preview->isComputing(); }));
    EXPECT_EQ(preview->imageIndex(), 1);
    EXPECT_FALSE(IsWindowEnabled(next));

    driver.click(c::kBlurMedian);
    driver.moveSlider(c::kCompressionSlider, 70);
    EXPECT_EQ(preview->settings().blurMode, static_cast<std::int32_t>(BlurMode::Median));
    EXPECT_EQ(preview->settings().compression, 70);
    ASSERT_TRUE(driver.pumpUntil([&] { return !preview->isComputing(); }));
    EXPECT_EQ(preview->imageIndex(), 1);
    EXPECT_EQ(preview->stateText(), L"");
}

}  // namespace
}  // namespace pagewash::testing
