#include "gui/Application.h"

#include <windows.h>

#include <deque>

#include "gui/Form.h"
#include "gui/Headless.h"
#include "gui/Win32Loop.h"
#include "util/Errors.h"
#include "util/FileSystem.h"
#include "util/Utf8.h"

namespace gui {

namespace {

// Posted work waits here until the loop (Win32: a message to the work window) runs it.
std::deque<std::function<void()>>& PostedWork() {
    static std::deque<std::function<void()>> work;
    return work;
}

constexpr UINT kRunPostedMessage = WM_APP + 1;

LRESULT CALLBACK WorkWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kRunPostedMessage) {
        if (!PostedWork().empty()) {
            auto work = std::move(PostedWork().front());
            PostedWork().pop_front();
            Guarded(work);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND WorkWindow() {
    static HWND hwnd = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WorkWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KorektaWork";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    }();
    return hwnd;
}

std::wstring FailureText(std::exception_ptr failure, bool& silent) {
    silent = false;
    try {
        std::rethrow_exception(failure);
    } catch (const EAbort&) {
        silent = true;
    } catch (const Error& e) {
        return e.Message();
    } catch (const std::exception& e) {
        std::wstring text = FromUtf8(e.what());
        if (!text.empty()) return text;
    } catch (...) {
    }
    return L"Wystąpił nieoczekiwany błąd programu.";
}

} // namespace

Application::Application() = default;

// Forms still owned at exit die with the application object.
Application::~Application() = default;

void Application::Adopt(std::unique_ptr<Form> form, std::function<void()> clearInstance) {
    if (!mainForm_) mainForm_ = form.get();
    forms_.push_back(Owned{std::move(form), std::move(clearInstance)});
}

std::vector<Form*> Application::Forms() const {
    std::vector<Form*> out;
    for (const Owned& owned : forms_)
        out.push_back(owned.form.get());
    return out;
}

void Application::Run() {
    terminated_ = false;
    if (!mainForm_) return;
    mainForm_->Show();
    if (IsHeadless()) {
        ProcessMessages();
        return;
    }
    MSG msg;
    while (!terminated_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        detail::DispatchLoopMessage(msg);
    }
}

void Application::Terminate() {
    terminated_ = true;
    if (!IsHeadless()) PostQuitMessage(0);
}

void Application::DestroyForms() {
    while (!forms_.empty()) {
        Owned owned = std::move(forms_.back());
        forms_.pop_back();
        owned.form.reset();
        if (owned.clearInstance) owned.clearInstance();
    }
}

void Application::FormDestroyed(Form* form) noexcept {
    if (mainForm_ == form) mainForm_ = nullptr;
}

Application& Application::Instance() {
    static Application app;
    return app;
}

void Application::SetBackend(Backend backend) {
    backend_ = backend;
}

std::wstring Application::Title() const {
    const std::wstring path = ProgramPath();
    if (path.empty()) return L"korekta";
    std::size_t slash = path.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

void Application::HandleException(std::exception_ptr failure) noexcept {
    try {
        bool silent = false;
        std::wstring text = FailureText(failure, silent);
        if (!silent) ShowMessageBox(MsgKind::Error, text);
    } catch (...) {
        // A failure while reporting a failure has nowhere left to go.
    }
}

void Application::ProcessMessages() {
    if (IsHeadless()) {
        // Work posted by the work itself runs in the same call.
        while (!PostedWork().empty()) {
            auto work = std::move(PostedWork().front());
            PostedWork().pop_front();
            Guarded(work);
        }
        return;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The loop that waits for the quit message must still see it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        detail::DispatchLoopMessage(msg);
    }
}

void Application::Post(std::function<void()> work) {
    PostedWork().push_back(std::move(work));
    if (!IsHeadless()) PostMessageW(WorkWindow(), kRunPostedMessage, 0, 0);
}

std::wstring MessageBoxCaption(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return L"Ostrzeżenie";
    case MsgKind::Information:
        return L"Informacja";
    case MsgKind::Confirmation:
        return L"Potwierdzenie";
    case MsgKind::Error:
    case MsgKind::Plain:
        break;
    }
    return Application::Instance().Title();
}

void ShowMessageBox(MsgKind kind, const std::wstring& text) {
    std::wstring caption = MessageBoxCaption(kind);
    if (Application::Instance().IsHeadless()) {
        headless::detail::RecordBox({kind, caption, text});
        return;
    }
    UINT icon = 0;
    switch (kind) {
    case MsgKind::Warning:
        icon = MB_ICONWARNING;
        break;
    case MsgKind::Error:
        icon = MB_ICONERROR;
        break;
    case MsgKind::Information:
        icon = MB_ICONINFORMATION;
        break;
    case MsgKind::Confirmation:
        icon = MB_ICONQUESTION;
        break;
    case MsgKind::Plain:
        break;
    }
    HWND owner = GetActiveWindow();
    UINT flags = MB_OK | icon | (owner ? MB_APPLMODAL : MB_TASKMODAL | MB_SETFOREGROUND);
    MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

} // namespace gui
