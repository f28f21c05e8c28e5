#include "gui/ListBox.h"

#include "gui/Native.h"

namespace gui {

void ListBox::Create(Control& parent, const ListBoxDesc& desc) {
    font_ = desc.font;
    Attach(&parent, desc.bounds, desc.align);
    CreateNative(L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                 WS_EX_CLIENTEDGE);
}

void ListBox::AddItem(const std::wstring& item) {
    items_.push_back(item);
    if (HWND h = detail::Hwnd(*this))
        SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void ListBox::Clear() {
    items_.clear();
    if (HWND h = detail::Hwnd(*this)) SendMessageW(h, LB_RESETCONTENT, 0, 0);
}

} // namespace gui
