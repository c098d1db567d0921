#include "ui/windows/dialog_exchange.h"

#include <cwctype>
#include <limits>
#include <string>

#include "platform/windows/win32_sdk.h"
#include "ui/common/dialog_bindings.h"
#include "ui/common/dialog_template.h"
#include "ui/common/exchange_scope.h"

namespace pagewash::win32 {
namespace {

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::int32_t readRadioGroup(HWND dialog, int firstId) {
    const std::vector<int> ids = radioGroupIds(firstId);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (IsDlgButtonChecked(dialog, ids[i]) == BST_CHECKED) return static_cast<std::int32_t>(i);
    }
    return -1;
}

void writeRadioGroup(HWND dialog, int firstId, std::int32_t position) {
    const std::vector<int> ids = radioGroupIds(firstId);
    for (std::size_t i = 0; i < ids.size(); ++i)
        CheckDlgButton(dialog, ids[i],
                       static_cast<std::int32_t>(i) == position ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

bool parseBoxInteger(const std::wstring& text, std::int32_t& value) {
    std::size_t at = 0;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    std::size_t end = text.size();
    while (end > at && std::iswspace(text[end - 1])) --end;
    bool negative = false;
    if (at < end && (text[at] == L'-' || text[at] == L'+')) negative = text[at++] == L'-';
    if (at == end) return false;
    long long number = 0;
    for (; at < end; ++at) {
        if (text[at] < L'0' || text[at] > L'9') return false;
        number = number * 10 + (text[at] - L'0');
        if (number > static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (negative) number = -number;
    if (number > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

bool DialogExchange::read(HWND dialog, DialogValues& values, int* failedControlId) {
    ExchangeScope scope(m_exchanging);
    for (const Binding& binding : dialogBindings()) {
        std::int32_t& value = values.*binding.value;
        switch (binding.kind) {
            case BindingKind::RadioGroup:
                value = readRadioGroup(dialog, binding.controlId);
                break;
            case BindingKind::Slider:
                value = static_cast<std::int32_t>(
                    SendDlgItemMessageW(dialog, binding.controlId, TBM_GETPOS, 0, 0));
                break;
            case BindingKind::NumberBox:
                if (!parseBoxInteger(windowText(GetDlgItem(dialog, binding.controlId)), value)) {
                    if (failedControlId != nullptr) *failedControlId = binding.controlId;
                    return false;
                }
                break;
        }
    }
    return true;
}

std::vector<int> DialogExchange::write(HWND dialog, const DialogValues& values) {
    ExchangeScope scope(m_exchanging);
    std::vector<int> movedSliders;
    for (const Binding& binding : dialogBindings()) {
        const std::int32_t value = values.*binding.value;
        switch (binding.kind) {
            case BindingKind::RadioGroup:
                writeRadioGroup(dialog, binding.controlId, value);
                break;
            case BindingKind::Slider: {
                const LRESULT before = SendDlgItemMessageW(dialog, binding.controlId, TBM_GETPOS, 0, 0);
                SendDlgItemMessageW(dialog, binding.controlId, TBM_SETPOS, TRUE, value);
                if (SendDlgItemMessageW(dialog, binding.controlId, TBM_GETPOS, 0, 0) != before)
                    movedSliders.push_back(binding.controlId);
                break;
            }
            case BindingKind::NumberBox: {
                const std::wstring text = std::to_wstring(value);
                HWND box = GetDlgItem(dialog, binding.controlId);
                if (windowText(box) != text) SetWindowTextW(box, text.c_str());
                break;
            }
        }
    }
    return movedSliders;
}

}  // namespace pagewash::win32
