#include "ui/windows/dialog_resource.h"

#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_sdk.h"
#include "ui/common/dialog_template.h"

namespace pagewash::win32 {
namespace {

using platform::windows::toWide;

// Predefined window classes of the dialog manager, by their atoms.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;

class TemplateWriter {
  public:
    explicit TemplateWriter(std::vector<WORD>& words) : m_words(words) {}
    void word(WORD value) { m_words.push_back(value); }
    void dword(DWORD value) {
        word(LOWORD(value));
        word(HIWORD(value));
    }
    void text(const std::wstring& value) {
        for (wchar_t unit : value) word(static_cast<WORD>(unit));
        word(0);
    }
    void atom(WORD value) {
        word(0xFFFF);
        word(value);
    }
    void alignToDword() {
        if (m_words.size() % 2 != 0) word(0);
    }

  private:
    std::vector<WORD>& m_words;
};

struct ItemClass {
    WORD atom;  // 0: named by `name`
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ItemClass itemClass(const ControlTemplate& entry) {
    switch (entry.kind) {
        case ControlKind::Static:
            return {kStaticAtom, nullptr, SS_LEFT, 0};
        case ControlKind::GroupBox:
            return {kButtonAtom, nullptr, BS_GROUPBOX, 0};
        case ControlKind::ListBox:
            return {kListBoxAtom, nullptr,
                    LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_BORDER,
                    WS_EX_ACCEPTFILES};
        case ControlKind::RadioButton:
            return {kButtonAtom, nullptr, BS_AUTORADIOBUTTON, 0};
        case ControlKind::NumberBox:
            return {kEditAtom, nullptr,
                    static_cast<DWORD>(ES_READONLY | ES_AUTOHSCROLL | WS_BORDER |
                                       (entry.digitsOnly ? ES_NUMBER : 0)),
                    0};
        case ControlKind::ProgressBox:
            return {kEditAtom, nullptr, ES_READONLY | ES_CENTER | ES_AUTOHSCROLL, 0};
        case ControlKind::Slider:
            return {0, TRACKBAR_CLASSW,
                    static_cast<DWORD>(TBS_HORZ | (entry.ticksAbove ? TBS_TOP | TBS_AUTOTICKS : TBS_NOTICKS)),
                    0};
        case ControlKind::PushButton:
            return {kButtonAtom, nullptr, BS_DEFPUSHBUTTON, 0};
    }
    return {kStaticAtom, nullptr, 0, 0};
}

}  // namespace

DialogResource::DialogResource(const std::wstring& fontFace) {
    const auto controls = mainDialogTemplate();
    TemplateWriter out(m_words);
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style, items, position, size.
    out.word(1);
    out.word(0xFFFF);
    out.dword(0);
    out.dword(0);
    out.dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    out.word(static_cast<WORD>(controls.size()));
    out.word(0);
    out.word(0);
    out.word(static_cast<WORD>(kDialogWidthDlu));
    out.word(static_cast<WORD>(kDialogHeightDlu));
    out.word(0);  // no menu
    out.word(0);  // the dialog manager's own class
    out.text(toWide(kDialogTitle));
    out.word(static_cast<WORD>(kDialogFontPoints));
    out.word(FW_NORMAL);
    out.word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, character set
    out.text(fontFace);

    for (const ControlTemplate& entry : controls) {
        const ItemClass kind = itemClass(entry);
        out.alignToDword();
        out.dword(0);  // help id
        out.dword(kind.exStyle);
        out.dword(WS_CHILD | WS_VISIBLE | kind.style | (entry.startsGroup ? WS_GROUP : 0) |
                  (entry.tabStop ? WS_TABSTOP : 0) | (entry.enabled ? 0 : WS_DISABLED));
        out.word(static_cast<WORD>(entry.x));
        out.word(static_cast<WORD>(entry.y));
        out.word(static_cast<WORD>(entry.width));
        out.word(static_cast<WORD>(entry.height));
        out.dword(entry.id == 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(entry.id));
        if (kind.atom != 0) {
            out.atom(kind.atom);
        } else {
            out.text(kind.name);
        }
        out.text(toWide(entry.text));
        out.word(0);  // no creation data
    }
}

}  // namespace pagewash::win32
