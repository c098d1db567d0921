#pragma once
// The dialog template of the dialog manager, made in memory from the shared layout table
// (ui/common/dialog_template.h): the same controls, ids, texts, groups, tab order and dialog units as the
// Qt dialog, in the font that dialogFontFace() chooses.

#include <string>
#include <vector>

#include "platform/windows/win32_sdk.h"

namespace pagewash::win32 {

// A DLGTEMPLATEEX with its items, WORD-aligned as the dialog manager reads it.
class DialogResource {
  public:
    explicit DialogResource(const std::wstring& fontFace);
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

  private:
    std::vector<WORD> m_words;
};

}  // namespace pagewash::win32
