#pragma once
// The test side of the headless backend: what the program showed (message boxes, dialogs,
// modal shows) and the scripted answers a test gives in advance.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/Application.h"

namespace gui {
class Form;
}

namespace gui::headless {

struct MessageBoxRecord {
    MsgKind kind;
    std::wstring caption;
    std::wstring text;
};

// Every box shown since the last TakeBoxes/ClearBoxes, in order.
const std::vector<MessageBoxRecord>& Boxes();
std::vector<MessageBoxRecord> TakeBoxes();
void ClearBoxes();
// Runs while a box is "open" (before ShowMessageBox returns); the only answer is OK.
void OnMessageBox(std::function<void(const MessageBoxRecord&)> handler);

} // namespace gui::headless

namespace gui::headless::detail {
// Called by ShowMessageBox under the headless backend.
void RecordBox(MessageBoxRecord record);
} // namespace gui::headless::detail
