#include "ui/common/dialog_bindings.h"

#include "ui/common/control_ids.h"

namespace pagewash {
namespace {

namespace c = control;

constexpr Binding kBindings[] = {
    {c::kColorNone, BindingKind::RadioGroup, &DialogValues::colorMode},
    {c::kGrayNone, BindingKind::RadioGroup, &DialogValues::grayMode},
    {c::kColorBlackSlider, BindingKind::Slider, &DialogValues::colorBlack},
    {c::kColorBlackBox, BindingKind::NumberBox, &DialogValues::colorBlackBox},
    {c::kColorWhiteSlider, BindingKind::Slider, &DialogValues::colorWhite},
    {c::kColorWhiteBox, BindingKind::NumberBox, &DialogValues::colorWhiteBox},
    {c::kGrayBlackSlider, BindingKind::Slider, &DialogValues::grayBlack},
    {c::kGrayBlackBox, BindingKind::NumberBox, &DialogValues::grayBlackBox},
    {c::kGrayWhiteSlider, BindingKind::Slider, &DialogValues::grayWhite},
    {c::kGrayWhiteBox, BindingKind::NumberBox, &DialogValues::grayWhiteBox},
    {c::kCompressionBox, BindingKind::NumberBox, &DialogValues::compressionBox},
    {c::kCompressionSlider, BindingKind::Slider, &DialogValues::compression},
    {c::kBlurStrengthBox, BindingKind::NumberBox, &DialogValues::blurStrengthBox},
    {c::kBlurStrengthSlider, BindingKind::Slider, &DialogValues::blurStrength},
    {c::kBlurNone, BindingKind::RadioGroup, &DialogValues::blurMode},
};

}  // namespace

std::span<const Binding> dialogBindings() { return kBindings; }

}  // namespace pagewash
