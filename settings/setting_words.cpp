#include "settings/setting_words.h"

namespace pagewash {

namespace {

// A table lists its choices from number 0 without a gap, as the dialog's radio positions run, and its
// setting's default is one of them.
constexpr bool numberedInOrder(const ModeSetting& setting) {
    for (std::size_t n = 0; n < setting.choices.size(); ++n) {
        if (setting.choices[n].number != static_cast<std::int32_t>(n)) return false;
    }
    const std::int32_t fallback = kDefaultSettings.*setting.field;
    return fallback >= 0 && static_cast<std::size_t>(fallback) < setting.choices.size();
}
static_assert(numberedInOrder(kColorModeSetting) && numberedInOrder(kGrayModeSetting) &&
              numberedInOrder(kBlurModeSetting));

}  // namespace

std::optional<std::int32_t> modeNumber(const ModeSetting& setting, std::string_view word) {
    for (const ModeChoice& choice : setting.choices) {
        if (choice.word == word) return choice.number;
    }
    return std::nullopt;
}

std::string_view defaultWord(const ModeSetting& setting) {
    return setting.choices[static_cast<std::size_t>(kDefaultSettings.*setting.field)].word;
}

}  // namespace pagewash
