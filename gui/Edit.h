#pragma once
// A one-line edit; optionally read-only, with a caption label on its left and a button
// inside its right end. FileEdit and FolderEdit fill it from the open-file and the
// folder-browse dialog.

#include <functional>
#include <optional>
#include <string>

#include "gui/Button.h"
#include "gui/Dialogs.h"
#include "gui/Label.h"

namespace gui {

struct EditDesc {
    Rect bounds{0, 0, 121, 21};
    std::wstring text{};
    bool readOnly = false;
    std::wstring labelText{};        // no label when empty
    std::optional<Font> labelFont{}; // the parent's font when not given
    int labelSpacing = 3;
    bool button = false; // a button inside the right end
    std::wstring buttonCaption = L"...";
    int buttonWidth = 21;
    std::optional<Font> font{};
};

class Edit : public Control {
public:
    Edit() = default;
    void Create(Control& parent, const EditDesc& desc);

    const std::wstring& Text() const { return text_; }
    // Sets the text as the program or the user's typing does; runs OnChange when it changed.
    void SetText(const std::wstring& text);
    bool ReadOnly() const { return readOnly_; }
    Label* CaptionLabel() { return label_ ? &*label_ : nullptr; }
    Button* EmbeddedButton() { return button_ ? &*button_ : nullptr; }

    std::function<void()> OnChange;
    std::function<void()> OnButtonClick;
    // A click on the embedded button (guarded).
    void ClickButton();

    bool OnNotification(unsigned msg, unsigned code, std::uintptr_t wp, std::intptr_t lp,
                        std::intptr_t& result) override;
    void SetVisible(bool visible) override;
    void ApplyDpi() override;

protected:
    virtual void ButtonPressed();

private:
    void PlaceParts();

    std::wstring text_;
    bool readOnly_ = false;
    int labelSpacing_ = 3;
    int buttonWidth_ = 21;
    std::optional<Label> label_;
    std::optional<Button> button_;
};

// An edit whose button runs the open-file dialog (no filter unless given) in the edit's
// initial folder and puts the chosen file's full path into the edit.
class FileEdit : public Edit {
public:
    void Create(Control& parent, EditDesc desc, const OpenFileDesc& dialog = {});
    OpenFileDialog& Dialog() { return dialog_; }

protected:
    void ButtonPressed() override;

private:
    OpenFileDialog dialog_;
};

// An edit whose button runs the folder-browse dialog and puts the chosen folder into it.
class FolderEdit : public Edit {
public:
    void Create(Control& parent, EditDesc desc, const FolderDesc& dialog = {});
    FolderDialog& Dialog() { return dialog_; }

protected:
    void ButtonPressed() override;

private:
    FolderDialog dialog_;
};

} // namespace gui
