#pragma once
// What the compressor and the extractor share: the items of a run, the events, the run
// totals and the recording of errors. Errors of the cabinet library are recorded
// (LastError, OnError), not thrown, unless RaiseExceptions is set; a failure inside an event
// handler stops the library's run and is rethrown once the library has returned.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "util/DateTime.h"
#include "util/Errors.h"

// An 8-bit text in the system's ANSI code page: the form of the items' names and of the
// events' texts. The file calls never take a path in this form: they receive UTF-16 texts,
// and the cabinet library receives, in place of a path, a name that only the engine's own
// file callbacks can turn back into one.
using AnsiString = std::string;
// For display: characters the code page lacks are replaced.
AnsiString ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const AnsiString& text);
// Without loss or refused: false when a character has no exact counterpart (no best fit,
// no default character) or a byte sequence is not valid in the code page.
bool ToAnsiExact(const std::wstring& text, AnsiString& out);
bool FromAnsiExact(const AnsiString& text, std::wstring& out);

// A failure of the cabinet engine (a recorded error with RaiseExceptions set, a multi-part
// cabinet, a cabinet library that could not be loaded).
class ECabError : public Error {
    using Error::Error;
};

// One file of a run.
struct TCabItem {
    // Compressor: the source's modification time when added; extractor: the stored time.
    TDateTime FileDate = 0;
    // Compressor: the source path as passed to AddFile; extractor: the stored name (for a
    // name stored as UTF-8, its form in the code page).
    AnsiString FileName;
    // FileName as the file calls receive it. Compressor: the source path; extractor: the
    // stored name decoded without loss, empty when its bytes are not valid in their encoding.
    std::wstring WideFileName;
    // -1 after the compressor's OriginalFileSize found no file at FileName.
    std::int64_t FileSize = 0;
    bool Selected = false;
    // Compressor: the folder prefix stored before the file name; extractor: the folder part
    // of the stored name with its trailing "\" ("" when it has none).
    AnsiString DestinationPath;

    // The file-name part of FileName.
    AnsiString ShortFileName() const;
};

// The items of a component, in order; the list owns them, so references stay valid until
// the list is cleared.
class TCabItemList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Throws ERangeError for an index outside 0..Count()-1.
    TCabItem& operator[](int index) const;
    TCabItem& Add();
    void Clear();
    // The first item whose FileName equals name exactly, or nullptr.
    TCabItem* Find(const AnsiString& name) const;

    // The single item of a one-item extraction.
    TCabItem* SingleItem = nullptr;

private:
    std::vector<std::unique_ptr<TCabItem>> items_;
};

class TCabComponent;

using TCabNotifyEvent = std::function<void(TCabComponent& Sender)>;
using TCabProgressEvent =
    std::function<void(TCabComponent& Sender, const AnsiString& FileName, std::int32_t FileIndex,
                       std::int64_t CurrentFileSize, std::int64_t CurrentCabSize)>;
using TCabErrorEvent = std::function<void(TCabComponent& Sender, std::uint16_t ErrorCode)>;
using TCabDecisionEvent =
    std::function<void(TCabComponent& Sender, const AnsiString& ItemName, bool& Cancel)>;

class TCabComponent {
public:
    virtual ~TCabComponent() = default;
    TCabComponent(const TCabComponent&) = delete;
    TCabComponent& operator=(const TCabComponent&) = delete;

    TCabItemList Items;
    bool RaiseExceptions = false;
    TCabProgressEvent OnProgress;
    TCabNotifyEvent OnStart;
    TCabNotifyEvent OnFinish;
    TCabErrorEvent OnError;

    std::uint16_t LastError() const { return lastError_; }
    std::int64_t SourceFileSize() const { return sourceFileSize_; }
    int FileCount() const { return Items.Count(); }
    TCabItem& Item(int index) const { return Items[index]; }
    virtual std::int64_t OriginalFileSize() = 0;

    // Records error code: LastError := code, OnError (also for 0), then a failure with the
    // code's text when RaiseExceptions is set.
    void RecordError(std::uint16_t code);
    // The component's text for an error code.
    virtual std::wstring ErrorText(std::uint16_t code) const = 0;

protected:
    TCabComponent() = default;
    void RaiseStart();
    void RaiseFinish();
    void RaiseProgress(const AnsiString& fileName, std::int64_t fileSize, std::int64_t cabSize);
    // The text for code in a table indexed by the library's error codes; "Unknown error code"
    // past its end.
    static std::wstring TextOf(std::span<const wchar_t* const> table, std::uint16_t code);
    // Runs the finish event, then passes failure on (when there is one): the first failure
    // of a run is the one that leaves it, one raised by the finish event is dropped then.
    void FinishRun(std::exception_ptr failure);

    std::uint8_t runMode_ = 0;
    std::uint16_t lastError_ = 0;
    std::int32_t currentIndex_ = 0;
    std::int64_t sourceFileSize_ = 0;
    // A failure caught inside a library callback, rethrown once the library has returned.
    std::exception_ptr pendingFailure_;
};
