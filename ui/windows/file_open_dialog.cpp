#include "ui/windows/file_open_dialog.h"

#include <iterator>

#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_sdk.h"
#include "ui/common/dialog_rules.h"

namespace pagewash::win32 {
namespace {

using platform::windows::toWide;

// Releases a COM interface when it goes out of scope.
template <typename Interface>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (m_pointer != nullptr) m_pointer->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface** out() { return &m_pointer; }
    Interface* operator->() const { return m_pointer; }

  private:
    Interface* m_pointer = nullptr;
};

std::wstring fileSystemPath(IShellItem* item) {
    wchar_t* path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return {};
    std::wstring copy(path);
    CoTaskMemFree(path);
    return copy;
}

}  // namespace

std::vector<std::wstring> chooseFilesToOpen(HWND owner) {
    ComRef<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(dialog.out()))))
        return {};
    std::wstring labels[std::size(kFileChooserFilters)];
    std::wstring patterns[std::size(kFileChooserFilters)];
    COMDLG_FILTERSPEC filters[std::size(kFileChooserFilters)];
    for (std::size_t i = 0; i < std::size(kFileChooserFilters); ++i) {
        labels[i] = toWide(kFileChooserFilters[i].label);
        patterns[i] = toWide(kFileChooserFilters[i].patterns);
        filters[i] = {labels[i].c_str(), patterns[i].c_str()};
    }
    dialog->SetFileTypes(static_cast<UINT>(std::size(filters)), filters);
    dialog->SetFileTypeIndex(1);
    dialog->SetDefaultExtension(L"pdf");
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM);
    if (dialog->Show(owner) != S_OK) return {};

    ComRef<IShellItemArray> chosen;
    if (FAILED(dialog->GetResults(chosen.out()))) return {};
    DWORD count = 0;
    chosen->GetCount(&count);
    std::vector<std::wstring> paths;
    for (DWORD i = 0; i < count; ++i) {
        ComRef<IShellItem> item;
        if (SUCCEEDED(chosen->GetItemAt(i, item.out()))) {
            std::wstring path = fileSystemPath(item.operator->());
            if (!path.empty()) paths.push_back(std::move(path));
        }
    }
    return paths;
}

}  // namespace pagewash::win32
