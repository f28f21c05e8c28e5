#include "gui/Headless.h"

#include <deque>

namespace gui::headless {

namespace {

struct State {
    std::vector<MessageBoxRecord> boxes;
    std::function<void(const MessageBoxRecord&)> boxHandler;
    std::function<void(Form&)> modalHandler;
    std::deque<std::optional<std::wstring>> answers[3];
    std::vector<DialogRecord> dialogs;
};

State& S() {
    static State state;
    return state;
}

} // namespace

const std::vector<MessageBoxRecord>& Boxes() {
    return S().boxes;
}

std::vector<MessageBoxRecord> TakeBoxes() {
    std::vector<MessageBoxRecord> out;
    out.swap(S().boxes);
    return out;
}

void ClearBoxes() {
    S().boxes.clear();
}

void OnMessageBox(std::function<void(const MessageBoxRecord&)> handler) {
    S().boxHandler = std::move(handler);
}

void OnModalShow(std::function<void(Form&)> handler) {
    S().modalHandler = std::move(handler);
}

void AnswerOpenFile(std::optional<std::wstring> path) {
    S().answers[static_cast<int>(DialogKind::OpenFile)].push_back(std::move(path));
}
void AnswerFolder(std::optional<std::wstring> folder) {
    S().answers[static_cast<int>(DialogKind::Folder)].push_back(std::move(folder));
}
void AnswerInput(std::optional<std::wstring> text) {
    S().answers[static_cast<int>(DialogKind::Input)].push_back(std::move(text));
}

const std::vector<DialogRecord>& Dialogs() {
    return S().dialogs;
}

std::vector<DialogRecord> TakeDialogs() {
    std::vector<DialogRecord> out;
    out.swap(S().dialogs);
    return out;
}

void Reset() {
    S() = State{};
}

namespace detail {

void RecordBox(MessageBoxRecord record) {
    S().boxes.push_back(record);
    if (S().boxHandler) S().boxHandler(S().boxes.back());
}

std::function<void(Form&)>& ModalHandler() {
    return S().modalHandler;
}

std::optional<std::wstring> RunDialog(const DialogRecord& record) {
    S().dialogs.push_back(record);
    auto& queue = S().answers[static_cast<int>(record.kind)];
    if (queue.empty()) return std::nullopt;
    auto answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

} // namespace detail

} // namespace gui::headless
