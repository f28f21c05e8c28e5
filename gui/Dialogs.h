#pragma once
// The common dialogs: open a file (with a filter), browse for a folder, type a text. Each
// runs modally and tells whether the user confirmed. Headless: the answer is the next one
// the test scripted (headless::AnswerOpenFile, AnswerFolder, AnswerInput).

#include <string>

namespace gui {

struct OpenFileDesc {
    // Entries "Name|pattern" joined by "|", e.g. "Program|*.exe"; empty: all files.
    std::wstring filter{};
    std::wstring initialDir{};
    bool hideReadOnly = true;
    std::wstring title{};
};

class OpenFileDialog {
public:
    void Create(const OpenFileDesc& desc) { desc_ = desc; }
    // True when the user chose a file; FileName() then holds its full path.
    bool Execute();
    const std::wstring& FileName() const { return fileName_; }
    const std::wstring& Filter() const { return desc_.filter; }
    const std::wstring& InitialDir() const { return desc_.initialDir; }
    void SetInitialDir(const std::wstring& folder) { desc_.initialDir = folder; }

private:
    OpenFileDesc desc_;
    std::wstring fileName_;
};

struct FolderDesc {
    std::wstring title = L"Wybierz katalog";
};

class FolderDialog {
public:
    void Create(const FolderDesc& desc) { desc_ = desc; }
    // True when the user chose a folder; Folder() then holds its path.
    bool Execute();
    const std::wstring& Folder() const { return folder_; }
    void SetFolder(const std::wstring& folder) { folder_ = folder; }

private:
    FolderDesc desc_;
    std::wstring folder_;
};

// A small modal dialog: the caption, the prompt above a one-line field that starts empty,
// OK (the default, also Enter) and Cancel (also Escape or closing).
class InputDialog {
public:
    std::wstring caption;
    std::wstring prompt;
    int maxLength = 0; // 0: no limit
    // OK: true, and Value() is the typed text, untrimmed; otherwise false and Value() empty.
    bool Execute();
    const std::wstring& Value() const { return value_; }

private:
    std::wstring value_;
};

} // namespace gui
