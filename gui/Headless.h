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
    MsgKind kind{};
    std::wstring caption{};
    std::wstring text{};
};

// Every box shown since the last TakeBoxes/ClearBoxes, in order.
const std::vector<MessageBoxRecord>& Boxes();
std::vector<MessageBoxRecord> TakeBoxes();
void ClearBoxes();
// Runs while a box is "open" (before ShowMessageBox returns); the only answer is OK.
void OnMessageBox(std::function<void(const MessageBoxRecord&)> handler);

// Modal shows: the handler receives the shown form (its OnShow has run) and may click its
// buttons; it should close the form. No handler: the show ends at once.
void OnModalShow(std::function<void(Form&)> handler);

// Dialogs take the next scripted answer of their kind, first scripted first used: a text
// (the chosen file or folder, the typed text) or std::nullopt for Cancel. A dialog with
// no scripted answer is cancelled.
enum class DialogKind { OpenFile, Folder, Input };
void AnswerOpenFile(std::optional<std::wstring> path);
void AnswerFolder(std::optional<std::wstring> folder);
void AnswerInput(std::optional<std::wstring> text);

struct DialogRecord {
    DialogKind kind{};
    std::wstring caption{};    // input dialog caption
    std::wstring prompt{};     // input dialog prompt
    std::wstring filter{};     // open-file dialog filter
    std::wstring initialDir{}; // open-file dialog folder, folder dialog start folder
};
// Every dialog run since the last TakeDialogs, in order.
const std::vector<DialogRecord>& Dialogs();
std::vector<DialogRecord> TakeDialogs();

// Forgets boxes, dialogs, scripted answers and handlers (for a test's start).
void Reset();

} // namespace gui::headless

namespace gui::headless::detail {
// Called by the components under the headless backend.
void RecordBox(MessageBoxRecord record);
std::function<void(Form&)>& ModalHandler();
// Records the dialog and returns its scripted answer.
std::optional<std::wstring> RunDialog(const DialogRecord& record);
} // namespace gui::headless::detail
