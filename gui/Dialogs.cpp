#include "gui/Dialogs.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Headless.h"
#include "gui/Label.h"

namespace gui {

namespace {

bool Headless() {
    return Application::Instance().IsHeadless();
}

// "Name|pattern|..." in the double-NUL form the common dialog reads.
std::vector<wchar_t> NativeFilter(const std::wstring& filter) {
    std::vector<wchar_t> out;
    if (filter.empty()) {
        std::wstring all = L"*.*|*.*";
        return NativeFilter(all);
    }
    for (wchar_t c : filter)
        out.push_back(c == L'|' ? L'\0' : c);
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

} // namespace

bool OpenFileDialog::Execute() {
    if (Headless()) {
        auto answer = headless::detail::RunDialog(
            {headless::DialogKind::OpenFile, desc_.title, L"", desc_.filter, desc_.initialDir});
        if (!answer) return false;
        fileName_ = *answer;
        return true;
    }
    std::vector<wchar_t> filter = NativeFilter(desc_.filter);
    std::vector<wchar_t> buffer(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.data();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = desc_.initialDir.empty() ? nullptr : desc_.initialDir.c_str();
    ofn.lpstrTitle = desc_.title.empty() ? nullptr : desc_.title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ENABLESIZING |
                (desc_.hideReadOnly ? OFN_HIDEREADONLY : 0);
    if (!GetOpenFileNameW(&ofn)) return false;
    fileName_ = buffer.data();
    return true;
}

bool FolderDialog::Execute() {
    if (Headless()) {
        auto answer = headless::detail::RunDialog(
            {headless::DialogKind::Folder, desc_.title, L"", L"", folder_});
        if (!answer) return false;
        folder_ = *answer;
        return true;
    }
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<wchar_t> name(MAX_PATH, L'\0');
    BROWSEINFOW bi{};
    bi.hwndOwner = GetActiveWindow();
    bi.pszDisplayName = name.data();
    bi.lpszTitle = desc_.title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bool chosen = false;
    if (PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi)) {
        std::vector<wchar_t> path(32768, L'\0');
        if (SHGetPathFromIDListEx(pidl, path.data(), static_cast<DWORD>(path.size()), 0)) {
            folder_ = path.data();
            chosen = true;
        }
        CoTaskMemFree(pidl);
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return chosen;
}

bool InputDialog::Execute() {
    value_.clear();
    if (Headless()) {
        auto answer =
            headless::detail::RunDialog({headless::DialogKind::Input, caption, prompt, L"", L""});
        if (!answer) return false;
        value_ = maxLength > 0 && static_cast<int>(answer->size()) > maxLength
                     ? answer->substr(0, static_cast<std::size_t>(maxLength))
                     : *answer;
        return true;
    }
    Form form;
    form.Create(FormDesc{caption, 320, 106, BorderStyle::Dialog, true, false, true, true,
                         Rgb(240, 240, 240), Font{}});
    Label promptLabel;
    promptLabel.Create(form, LabelDesc{prompt, 10, 10});
    Edit field;
    field.Create(form, EditDesc{Rect{10, 30, 300, 21}});
    if (maxLength > 0 && field.NativeHandle())
        SendMessageW(static_cast<HWND>(field.NativeHandle()), EM_SETLIMITTEXT,
                     static_cast<WPARAM>(maxLength), 0);
    Button ok, cancel;
    ok.Create(form, ButtonDesc{L"OK", Rect{154, 68, 75, 25}});
    cancel.Create(form, ButtonDesc{L"Anuluj", Rect{235, 68, 75, 25}});
    ok.OnClick = [&] { form.SetModalResult(ModalResult::Ok); };
    cancel.OnClick = [&] { form.SetModalResult(ModalResult::Cancel); };
    form.OnEnterKey = ok.OnClick;
    form.OnEscapeKey = cancel.OnClick;
    form.SetActiveControl(&field);
    if (form.ShowModal() != ModalResult::Ok) return false;
    value_ = field.Text();
    return true;
}

} // namespace gui
