#include "gui/ComboBox.h"

#include "gui/Application.h"
#include "gui/Native.h"

namespace gui {

void ComboBox::Create(Control& parent, const ComboBoxDesc& desc) {
    font_ = desc.font;
    dropDownCount_ = desc.dropDownCount;
    Rect b = desc.bounds;
    // The native height covers the dropped list as well.
    Attach(&parent, b);
    bounds_.height = b.height + dropDownCount_ * 16;
    CreateNative(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS);
    bounds_.height = b.height;
}

void ComboBox::ApplyDpi() {
    // The native height of a drop-down list covers its dropped list.
    if (HWND h = detail::Hwnd(*this))
        SetWindowPos(h, nullptr, Scale(bounds_.left), Scale(bounds_.top), Scale(bounds_.width),
                     Scale(bounds_.height + dropDownCount_ * 16), SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyFont();
}

void ComboBox::AddItem(const std::wstring& item) {
    items_.push_back(item);
    if (HWND h = detail::Hwnd(*this))
        SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void ComboBox::Clear() {
    items_.clear();
    index_ = -1;
    if (HWND h = detail::Hwnd(*this)) SendMessageW(h, CB_RESETCONTENT, 0, 0);
}

void ComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) return;
    index_ = index;
    if (HWND h = detail::Hwnd(*this)) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::wstring ComboBox::Text() const {
    return index_ >= 0 ? items_[static_cast<std::size_t>(index_)] : std::wstring();
}

void ComboBox::Pick(int index) {
    if (!EnabledWithParents() || index < 0 || index >= static_cast<int>(items_.size())) return;
    SetItemIndex(index);
    if (OnChange) Guarded(OnChange);
}

bool ComboBox::OnNotification(unsigned msg, unsigned code, std::uintptr_t, std::intptr_t,
                              std::intptr_t&) {
    if (msg == WM_COMMAND && code == CBN_SELCHANGE) {
        index_ = static_cast<int>(SendMessageW(detail::Hwnd(*this), CB_GETCURSEL, 0, 0));
        if (OnChange) Guarded(OnChange);
        return true;
    }
    return false;
}

} // namespace gui
