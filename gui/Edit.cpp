#include "gui/Edit.h"

#include "gui/Application.h"
#include "gui/Native.h"

namespace gui {

void Edit::Create(Control& parent, const EditDesc& desc) {
    text_ = desc.text;
    readOnly_ = desc.readOnly;
    labelSpacing_ = desc.labelSpacing;
    buttonWidth_ = desc.buttonWidth;
    font_ = desc.font;
    Attach(&parent, desc.bounds);
    CreateNative(L"EDIT", text_,
                 WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0),
                 WS_EX_CLIENTEDGE);
    if (!desc.labelText.empty()) {
        label_.emplace();
        label_->Create(
            parent, LabelDesc{desc.labelText, 0, 0, 0, 0, true, TextAlign::Left, desc.labelFont});
    }
    if (desc.button) {
        button_.emplace();
        button_->Create(*this, ButtonDesc{desc.buttonCaption, Rect{}, false, true, {}});
        button_->OnClick = [this] { ButtonPressed(); };
    }
    PlaceParts();
}

void Edit::PlaceParts() {
    if (label_) {
        Rect lb = label_->Bounds();
        label_->SetBounds(Rect{bounds_.left - labelSpacing_ - lb.width,
                               bounds_.top + (bounds_.height - lb.height) / 2, lb.width,
                               lb.height});
    }
    if (button_) {
        // Inside the sunken frame (2 pixels on each side).
        int inner = bounds_.height - 4;
        button_->SetBounds(Rect{bounds_.width - 4 - buttonWidth_, 0, buttonWidth_, inner});
        if (HWND h = detail::Hwnd(*this))
            SendMessageW(h, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, Scale(buttonWidth_ + 2)));
    }
}

void Edit::ApplyDpi() {
    Control::ApplyDpi();
    PlaceParts();
}

void Edit::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    if (HWND h = detail::Hwnd(*this)) {
        SetWindowTextW(h, text_.c_str());
        return; // EN_CHANGE runs OnChange
    }
    if (OnChange) Guarded(OnChange);
}

void Edit::SetVisible(bool visible) {
    Control::SetVisible(visible);
    if (label_) label_->SetVisible(visible);
}

void Edit::ClickButton() {
    if (button_) button_->Click();
}

void Edit::ButtonPressed() {
    if (OnButtonClick) Guarded(OnButtonClick);
}

bool Edit::OnNotification(unsigned msg, unsigned code, std::uintptr_t wp, std::intptr_t,
                          std::intptr_t& result) {
    HWND h = detail::Hwnd(*this);
    if (msg == WM_COMMAND && code == EN_CHANGE) {
        int n = GetWindowTextLengthW(h);
        std::wstring t(static_cast<std::size_t>(n) + 1, L'\0');
        GetWindowTextW(h, t.data(), n + 1);
        t.resize(static_cast<std::size_t>(n));
        text_ = t;
        if (OnChange) Guarded(OnChange);
        return true;
    }
    if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, detail::Ref(EffectiveFont().color));
        SetBkColor(dc, RGB(255, 255, 255));
        result = reinterpret_cast<std::intptr_t>(detail::BrushFor(Rgb(255, 255, 255)));
        return true;
    }
    return false;
}

void FileEdit::Create(Control& parent, EditDesc desc, const OpenFileDesc& dialog) {
    desc.button = true;
    Edit::Create(parent, desc);
    dialog_.Create(dialog);
}

void FileEdit::ButtonPressed() {
    if (dialog_.Execute()) SetText(dialog_.FileName());
    Edit::ButtonPressed();
}

void FolderEdit::Create(Control& parent, EditDesc desc, const FolderDesc& dialog) {
    desc.button = true;
    Edit::Create(parent, desc);
    dialog_.Create(dialog);
}

void FolderEdit::ButtonPressed() {
    dialog_.SetFolder(Text());
    if (dialog_.Execute()) SetText(dialog_.Folder());
    Edit::ButtonPressed();
}

} // namespace gui
