#pragma once
// A top-level window: caption, client size, border, colours, font, centred placement, always
// on top, show, hide, modal show and close. Created hidden.

#include <functional>
#include <string>

#include "gui/Control.h"

namespace gui {

enum class BorderStyle {
    Dialog,   // fixed frame, no resizing, no minimise or maximise box
    Tool,     // small tool-window caption
    Sizeable, // resizable frame
};

enum class ModalResult { None, Ok, Cancel };

struct FormDesc {
    std::wstring caption{};
    int clientWidth = 300;
    int clientHeight = 200;
    BorderStyle border = BorderStyle::Dialog;
    bool closeButton = true; // the title bar's close button (and system menu)
    bool minMaxButtons = false;
    bool stayOnTop = false;
    bool centered = true;
    Color color = Rgb(240, 240, 240);
    Font font{};
};

class Form : public Control {
public:
    Form() = default;
    ~Form() override;

    void Create(const FormDesc& desc);

    const std::wstring& Caption() const { return caption_; }
    void SetCaption(const std::wstring& caption);
    int ClientWidth() const override { return clientWidth_; }
    int ClientHeight() const override { return clientHeight_; }
    bool StayOnTop() const { return stayOnTop_; }
    const FormDesc& Description() const { return desc_; }

    // Runs OnShow (guarded) before the window appears; nothing when already shown.
    void Show();
    void Hide();
    // Runs OnClose, then hides the form; a modal show ends, and the main form's closing ends
    // the application's loop.
    void Close();
    // Shows the form and returns when it is closed. Headless: the test's modal handler
    // (headless::OnModalShow) gets the form; when it leaves the form open, the show ends
    // as though the form were closed.
    ModalResult ShowModal();
    bool IsModal() const { return modal_; }
    ModalResult GetModalResult() const { return modalResult_; }
    // Ends a running modal show with the result.
    void SetModalResult(ModalResult result);

    std::function<void()> OnShow;
    std::function<void()> OnClose;

    int FormDpi() const { return dpi_; }
    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;
    void SetVisible(bool visible) override;
    // A disabled form takes no input: no clicks on its controls, no closing by the user
    // (close box, Alt+F4); a form without a close button is never closed by the user.
    // Enabled again while the program has no active window (the one that had it was hidden
    // meanwhile), a shown form takes the activation back, so that the next message box
    // belongs to it.
    void SetEnabled(bool enabled) override;

    // The control that gets the keyboard focus when the form appears.
    void SetActiveControl(Control* control) { activeControl_ = control; }

    // Keys of the dialog manager: Enter and Escape reach these (InputDialog uses them).
    std::function<void()> OnEnterKey;
    std::function<void()> OnEscapeKey;

private:
    void PlaceWindow();

    FormDesc desc_;
    std::wstring caption_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool stayOnTop_ = false;
    int dpi_ = 96;
    bool modal_ = false;
    ModalResult modalResult_ = ModalResult::None;
    Control* activeControl_ = nullptr;
};

// Keeps a form disabled while an operation that pumps messages runs (a transfer with its
// progress window), so that none of its controls reacts meanwhile. End(), or the end of the
// scope on any path, enables it again after the input that waited in the queue has met it
// still disabled.
class BusyForm {
public:
    explicit BusyForm(Form& form);
    ~BusyForm() { End(); }
    BusyForm(const BusyForm&) = delete;
    BusyForm& operator=(const BusyForm&) = delete;
    void End() noexcept;

private:
    Form& form_;
    bool ended_ = false;
};

} // namespace gui
