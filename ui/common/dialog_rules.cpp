#include "ui/common/dialog_rules.h"

#include <iterator>

#include "ui/common/control_ids.h"

namespace pagewash {
namespace {

namespace c = control;

constexpr int kLockedByRun[] = {c::kBleachButton,    c::kFileList,         c::kColorNone,
                                c::kColorGrayscale,  c::kColorAuto,        c::kColorManual,
                                c::kGrayNone,        c::kGrayAuto,         c::kGrayManual,
                                c::kColorYellowing,  c::kColorBlackSlider, c::kColorWhiteSlider,
                                c::kGrayBlackSlider, c::kGrayWhiteSlider,  c::kCompressionSlider};

std::vector<ControlEnabling> referenceEnabling(bool manual, bool known, std::span<const int> disabledInOrder,
                                               int blackSlider, int whiteSlider) {
    std::vector<ControlEnabling> changes;
    if (!known) return changes;
    if (manual) return {{blackSlider, true}, {whiteSlider, true}};
    for (int id : disabledInOrder) changes.push_back({id, false});
    return changes;
}

}  // namespace

std::span<const int> controlsLockedByRun() { return kLockedByRun; }

std::vector<int> controlsUnlockedAfterRun(const DialogValues& values) {
    std::vector<int> ids = {c::kBleachButton, c::kFileList};
    ids.insert(ids.end(), std::begin(c::kModeButtons), std::end(c::kModeButtons));
    if (values.colorMode == static_cast<std::int32_t>(ColorMode::Manual)) {
        ids.push_back(c::kColorBlackSlider);
        ids.push_back(c::kColorWhiteSlider);
    }
    if (values.grayMode == static_cast<std::int32_t>(GrayMode::Manual)) {
        ids.push_back(c::kGrayBlackSlider);
        ids.push_back(c::kGrayWhiteSlider);
    }
    ids.push_back(c::kCompressionSlider);
    return ids;
}

std::vector<ControlEnabling> colorModeEnabling(std::int32_t colorMode) {
    constexpr int kDisabled[] = {c::kColorBlackBox, c::kColorWhiteBox, c::kColorBlackSlider,
                                 c::kColorWhiteSlider};
    const auto manual = static_cast<std::int32_t>(ColorMode::Manual);
    return referenceEnabling(colorMode == manual, colorMode >= 0 && colorMode <= manual, kDisabled,
                             c::kColorBlackSlider, c::kColorWhiteSlider);
}

std::vector<ControlEnabling> grayModeEnabling(std::int32_t grayMode) {
    constexpr int kDisabled[] = {c::kGrayWhiteBox, c::kGrayBlackBox, c::kGrayBlackSlider,
                                 c::kGrayWhiteSlider};
    const auto manual = static_cast<std::int32_t>(GrayMode::Manual);
    return referenceEnabling(grayMode == manual, grayMode >= 0 && grayMode <= manual, kDisabled,
                             c::kGrayBlackSlider, c::kGrayWhiteSlider);
}

void applySliderMove(DialogValues& values, int sliderId) {
    copySlidersToBoxes(values);
    switch (sliderId) {
        case c::kColorBlackSlider:
            enforceAfterBlackMove(colorPair(values));
            break;
        case c::kColorWhiteSlider:
            enforceAfterWhiteMove(colorPair(values));
            break;
        case c::kGrayBlackSlider:
            enforceAfterBlackMove(grayPair(values));
            break;
        case c::kGrayWhiteSlider:
            enforceAfterWhiteMove(grayPair(values));
            break;
        default:
            break;
    }
}

}  // namespace pagewash
