#include "ui/common/dialog_template.h"

#include <iterator>

#include "ui/common/control_ids.h"

namespace pagewash {
namespace {

using K = ControlKind;
namespace c = control;

// id, kind, text, startsGroup, tabStop, enabled, ticksAbove, digitsOnly, x, y, w, h
constexpr ControlTemplate kControls[] = {
    {0, K::Static, "ファイルリスト(&L)", true, false, true, false, false, 7, 7, 34, 8},
    {c::kFileList, K::ListBox, "", false, true, true, false, false, 15, 20, 260, 88},
    {0, K::GroupBox, "フルカラー画像の処理", false, false, true, false, false, 7, 115, 132, 84},
    {c::kColorNone, K::RadioButton, "処理しない", true, false, true, false, false, 11, 127, 41, 10},
    {c::kColorAuto, K::RadioButton, "自動補正", false, false, true, false, false, 54, 127, 38, 10},
    {c::kColorYellowing, K::RadioButton, "黄ばみ除去", false, false, true, false, false, 94, 127, 43, 10},
    {c::kColorGrayscale, K::RadioButton, "グレースケール", false, false, true, false, false, 11, 142, 54, 10},
    {c::kColorManual, K::RadioButton, "マニュアル補正", false, false, true, false, false, 74, 141, 55, 10},
    {0, K::Static, "黒基準", true, false, true, false, false, 14, 159, 22, 8},
    {c::kColorBlackBox, K::NumberBox, "", false, true, true, false, true, 41, 156, 21, 14},
    {c::kColorBlackSlider, K::Slider, "", false, true, false, true, false, 67, 151, 66, 20},
    {0, K::Static, "白基準", true, false, true, false, false, 14, 180, 22, 8},
    {c::kColorWhiteBox, K::NumberBox, "", false, true, true, false, true, 41, 177, 21, 14},
    {c::kColorWhiteSlider, K::Slider, "", false, true, false, true, false, 67, 172, 66, 20},
    {0, K::GroupBox, "グレースケール画像の処理", false, false, true, false, false, 145, 115, 130, 84},
    {c::kGrayNone, K::RadioButton, "処理しない", true, false, true, false, false, 148, 127, 46, 10},
    {c::kGrayAuto, K::RadioButton, "自動補正", false, false, true, false, false, 148, 141, 43, 10},
    {c::kGrayManual, K::RadioButton, "マニュアル補正", false, false, true, false, false, 207, 141, 55, 10},
    {0, K::Static, "黒基準", true, false, true, false, false, 148, 159, 22, 8},
    {c::kGrayBlackBox, K::NumberBox, "", false, true, true, false, true, 175, 156, 21, 14},
    {c::kGrayBlackSlider, K::Slider, "", false, true, false, true, false, 199, 151, 66, 20},
    {0, K::Static, "白基準", true, false, true, false, false, 148, 180, 22, 8},
    {c::kGrayWhiteBox, K::NumberBox, "", false, true, true, false, true, 175, 177, 21, 14},
    {c::kGrayWhiteSlider, K::Slider, "", false, true, false, true, false, 199, 172, 66, 20},
    {0, K::GroupBox, "圧縮率", false, false, true, false, false, 145, 205, 130, 40},
    {c::kCompressionBox, K::NumberBox, "", false, true, true, false, true, 155, 221, 21, 14},
    {c::kCompressionSlider, K::Slider, "", false, true, true, true, false, 180, 217, 85, 20},
    {0, K::GroupBox, "ぼかし", false, false, true, false, false, 7, 205, 132, 57},
    {c::kBlurNone, K::RadioButton, "ぼかし無", true, false, true, false, false, 14, 222, 39, 10},
    {c::kBlurAverage, K::RadioButton, "平均", false, false, true, false, false, 60, 222, 30, 10},
    {c::kBlurMedian, K::RadioButton, "メディアン", false, false, true, false, false, 97, 222, 41, 10},
    {c::kBlurStrengthBox, K::NumberBox, "", false, true, true, false, false, 51, 239, 24, 14},
    {0, K::Static, "弱", true, false, true, false, false, 85, 242, 8, 8},
    {c::kBlurStrengthSlider, K::Slider, "", false, true, true, false, false, 94, 238, 27, 15},
    {0, K::Static, "強", true, false, true, false, false, 123, 242, 8, 8},
    {c::kProgressBox, K::ProgressBox, "", false, true, true, false, false, 159, 254, 40, 14},
    {c::kBleachButton, K::PushButton, "漂白実行(&S)", false, true, true, false, false, 211, 249, 50, 18},
};

// The radio buttons of the group that `firstId` starts, in dialog order, are `radios`: a mode's number is
// its button's position there.
constexpr bool groupHolds(int firstId, std::span<const int> radios) {
    std::size_t at = 0;
    while (at < std::size(kControls) && kControls[at].id != firstId) ++at;
    std::size_t position = 0;
    for (std::size_t i = at; i < std::size(kControls) && (i == at || !kControls[i].startsGroup); ++i) {
        if (kControls[i].kind != K::RadioButton) continue;
        if (position == radios.size() || kControls[i].id != radios[position]) return false;
        ++position;
    }
    return at < std::size(kControls) && position == radios.size();
}
static_assert(groupHolds(c::kColorNone, c::kColorModeRadios) &&
                  groupHolds(c::kGrayNone, c::kGrayModeRadios) &&
                  groupHolds(c::kBlurNone, c::kBlurModeRadios),
              "a radio group's buttons must stand in the order of the mode numbers");

}  // namespace

std::span<const ControlTemplate> mainDialogTemplate() { return kControls; }

std::vector<int> radioGroupIds(int firstId) {
    std::vector<int> ids;
    std::size_t at = 0;
    while (at < std::size(kControls) && kControls[at].id != firstId) ++at;
    for (std::size_t i = at; i < std::size(kControls) && (i == at || !kControls[i].startsGroup); ++i) {
        if (kControls[i].kind == K::RadioButton) ids.push_back(kControls[i].id);
    }
    return ids;
}

}  // namespace pagewash
