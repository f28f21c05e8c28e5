#pragma once
// The application object of the window toolkit: the backend choice, the title, the default
// failure handler, the message loop, the main form, and the modal message boxes.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace gui {

class Form;

// Win32 makes real windows; Headless keeps every component as plain state (tests).
enum class Backend { Win32, Headless };

// The five kinds of modal message box; the values are the system's box kind codes.
enum class MsgKind : std::uint8_t {
    Warning = 0,
    Error = 1,
    Information = 2,
    Confirmation = 3,
    Plain = 4
};

class Application {
public:
    static Application& Instance();

    void SetBackend(Backend backend);
    Backend GetBackend() const { return backend_; }
    bool IsHeadless() const { return backend_ == Backend::Headless; }

    // The executable's file name without its extension.
    std::wstring Title() const;

    // The default handler: an error box captioned Title() with the failure's text; a
    // silent abort (EAbort) shows nothing. Never throws.
    void HandleException(std::exception_ptr failure) noexcept;

    // Runs what is pending (Win32: the thread's window messages; Headless: the posted
    // work) and returns when nothing is left.
    void ProcessMessages();

    // Queues work that the message loop (or ProcessMessages) runs later, guarded.
    void Post(std::function<void()> work);

    // Creates a form that the application owns and destroys at its end; the first form
    // created this way becomes the main form. The form's constructor creates it hidden.
    template <class T, class... Args>
    T& CreateForm(T*& instance, Args&&... args) {
        auto form = std::make_unique<T>(std::forward<Args>(args)...);
        instance = form.get();
        Adopt(std::unique_ptr<Form>(std::move(form)), [&instance] { instance = nullptr; });
        return *instance;
    }
    Form* MainForm() const { return mainForm_; }
    // The owned forms in the order of their creation.
    std::vector<Form*> Forms() const;
    void SetMainForm(Form* form) { mainForm_ = form; }

    // Shows the main form and runs the message loop until the main form closes. Headless:
    // shows the main form, runs the posted work and returns.
    void Run();
    // Ends the message loop (the main form's closing calls it).
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Destroys the owned forms, last created first, and clears their instance globals.
    void DestroyForms();
    // Called by every form's destructor, so that no pointer to it outlives it.
    void FormDestroyed(Form* form) noexcept;

private:
    Application();
    ~Application();
    void Adopt(std::unique_ptr<Form> form, std::function<void()> clearInstance);

    struct Owned {
        std::unique_ptr<Form> form;
        std::function<void()> clearInstance;
    };
    Backend backend_ = Backend::Win32;
    bool terminated_ = false;
    Form* mainForm_ = nullptr;
    std::vector<Owned> forms_;
};

// A modal box with the one button OK. Win32: MessageBoxW with the kind's icon; the caption
// is Title() for Error and Plain boxes and a Polish caption of the kind otherwise.
void ShowMessageBox(MsgKind kind, const std::wstring& text);

// The caption a box of the given kind carries.
std::wstring MessageBoxCaption(MsgKind kind);

// Runs f; any failure goes to the application's default handler.
template <class F>
void Guarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        Application::Instance().HandleException(std::current_exception());
    }
}

} // namespace gui
