#pragma once
// What the dialog does, free of any toolkit: its fixed texts, which names the list takes, which controls
// a run locks and which the modes enable, and what a slider move does to the values. The Qt and the
// Win32 dialog both follow these rules; each only applies them to its own controls.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "settings/dialog_values.h"

namespace pagewash {

// The fixed first line of the file list; it is never removed.
inline constexpr const char* kHintItemText = "<ファイルの追加はここをWクリ. ただしD&D推奨>";
// Longest name taken from a drop, in UTF-16 code units; longer names are cut.
inline constexpr int kMaxDroppedNameLength = 1023;
inline constexpr const char* kEmptyListText = "リストにデータがありません。";
inline constexpr const char* kEmptyListCaption = "警告";
inline constexpr const char* kNotAnIntegerText = "整数を入力してください。";
// Followed by the reasons of the files a run refused, one a line.
inline constexpr const char* kRefusedFilesText = "次のファイルは処理できませんでした。\n\n";
inline constexpr const char* kPreviewCommandText = "プレビュー";
// The dialog's run pauses after the 1st, 5th, 9th ... image worker it starts.
inline constexpr int kDialogWorkerStartPauseMs = 300;

// The file chooser's filters, the first in force when it opens. The JPEG label names "*.jpeg" too,
// yet only names ending in "pdf" or "jpg" are listed.
struct FileFilter {
    const char* label;
    const char* patterns;  // separated by ';'
};
inline constexpr FileFilter kFileChooserFilters[] = {
    {"PDF ファイル(*.pdf)", "*.pdf"},
    {"JPEG 画像ファイル(*.jpg; *.jpeg)", "*.jpg;*.jpeg"},
    {"全てのファイル(*.*)", "*.*"},
};

// A dropped or chosen name goes into the list when its last three characters, lower-cased, are "pdf"
// or "jpg"; other names are passed over without a message. `Char`: any UTF-16 or UTF-8 code unit
// (the three characters compared are ASCII).
template <typename Char>
bool isListableName(std::basic_string_view<Char> name) {
    if (name.size() < 3) return false;
    char tail[3];
    for (std::size_t i = 0; i < 3; ++i) {
        const auto unit = static_cast<std::uint32_t>(name[name.size() - 3 + i]);
        tail[i] = unit >= 'A' && unit <= 'Z' ? static_cast<char>(unit - 'A' + 'a')
                  : unit < 0x80              ? static_cast<char>(unit)
                                             : '\0';
    }
    const std::string_view lowered(tail, 3);
    return lowered == "pdf" || lowered == "jpg";
}

struct ControlEnabling {
    int controlId;
    bool enabled;
};

// The controls a run disables, in this order: those that would change the list or the tone settings.
// The blur controls stay usable (each file takes its own settings snapshot).
std::span<const int> controlsLockedByRun();
// What the end of a run enables again, in order: the locked controls, the reference sliders only as
// the modes in `values` say.
std::vector<int> controlsUnlockedAfterRun(const DialogValues& values);

// What a click on a mode button changes, in order, for the mode the group now shows: a non-manual
// mode disables the pair's boxes and sliders; the manual mode enables the sliders only (the boxes keep
// their state); a mode out of range changes nothing.
std::vector<ControlEnabling> colorModeEnabling(std::int32_t colorMode);
std::vector<ControlEnabling> grayModeEnabling(std::int32_t grayMode);

// After slider `sliderId` moved (values just read from the controls): the boxes follow the sliders,
// and a reference pair's moved end pushes the other end ahead of it.
void applySliderMove(DialogValues& values, int sliderId);

}  // namespace pagewash
