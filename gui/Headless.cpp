#include "gui/Headless.h"

namespace gui::headless {

namespace {

struct State {
    std::vector<MessageBoxRecord> boxes;
    std::function<void(const MessageBoxRecord&)> boxHandler;
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

namespace detail {

void RecordBox(MessageBoxRecord record) {
    S().boxes.push_back(record);
    if (S().boxHandler) S().boxHandler(S().boxes.back());
}

} // namespace detail

} // namespace gui::headless
