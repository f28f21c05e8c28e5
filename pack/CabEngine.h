#pragma once
// The cabinet engine: a compressor that packs files into one Microsoft Cabinet archive (one
// folder) and an extractor that lists and unpacks one, both driving the platform cabinet
// library (Cabinet.dll) and reporting through events. Every run is synchronous on the
// calling thread. Errors of the library are recorded (LastError, OnError), not thrown,
// unless RaiseExceptions is set; a failure inside an event handler stops the library's run
// and is rethrown once the library has returned.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
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

// What both components share: the items, the error state, the run totals and the events.
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

    std::uint8_t runMode_ = 0;
    std::uint16_t lastError_ = 0;
    std::int32_t currentIndex_ = 0;
    std::int64_t sourceFileSize_ = 0;
    // A failure caught inside a library callback, rethrown once the library has returned.
    std::exception_ptr pendingFailure_;
};

enum TCabCompressionType : std::uint8_t { cctNone, cctMSZIP, cctLZX };
enum TCabLZXLevel : std::uint8_t {
    cllLowest,
    cllLower,
    cllLow,
    cllMedium,
    cllHigh,
    cllHigher,
    cllHighest
};

class TCabCompressor : public TCabComponent {
public:
    TCabCompressor() = default;

    // The cabinet to write.
    std::wstring FileName;
    TCabCompressionType CompressionType = cctMSZIP;
    TCabLZXLevel CompressionLZXLevel = cllHighest;
    std::int64_t CompressedFileSize() const { return compressedFileSize_; }

    // Appends an item; a file at sourceName gives it its size and modification time. An
    // 8-bit source path that the code page cannot turn into UTF-16 names no file.
    void AddFile(const AnsiString& sourceName, const AnsiString& destPath);
    void AddFile(const std::wstring& sourceName, const AnsiString& destPath);
    // Writes FileName from the items: yes when the final flush succeeded, whatever happened
    // to single files (their failures are recorded).
    bool Compress();
    // Reads every item's size again (-1 when no file is there) and sums the sizes >= 0.
    std::int64_t OriginalFileSize() override;
    std::wstring ErrorText(std::uint16_t code) const override;
    // The code handed to the library for the compression settings.
    std::uint16_t CompressionCode() const;

private:
    struct Callbacks;
    void AddItem(const AnsiString& sourceName, const std::wstring& wideName,
                 const AnsiString& destPath);
    std::int64_t compressedFileSize_ = 0;
};

enum TCabExtractOption : std::uint8_t { dcoForceDirectories = 1, dcoOverwriteFiles = 2 };
using TCabExtractOptions = std::uint8_t;

class TCabExtractor : public TCabComponent {
public:
    TCabExtractor() = default;

    // The folder to unpack into.
    std::wstring DestinationPath;
    TCabExtractOptions Options = dcoForceDirectories | dcoOverwriteFiles;
    TCabDecisionEvent OnFolderRequired;
    TCabDecisionEvent OnFileExists;

    const std::wstring& FileName() const { return fileName_; }
    // Stores the path and, when it is a cabinet, lists it (the item list is replaced);
    // otherwise the list is left as it was.
    void SetFileName(const std::wstring& path);

    // false: every listed item; true: the items whose Selected is set. No when the copy
    // failed or a stored name was refused as unsafe (that file is skipped, error 8).
    bool Extract(bool selected);
    bool Extract(int index);
    // No run, and no, when no item has that stored name.
    bool Extract(const AnsiString& storedName);
    bool Extract(TCabItem& item);

    std::int32_t ExtractFileCount() const { return extractFileCount_; }
    std::int64_t OriginalFileSize() override;
    std::wstring ErrorText(std::uint16_t code) const override;

    // A file exists at path, opens for reading and the library takes it for a cabinet.
    bool IsCabFile(const std::wstring& path);
    // The file is a cabinet that refers to a previous or a next cabinet of a set.
    bool IsMultiPart(const std::wstring& path);

private:
    struct Callbacks;
    bool Run(std::uint8_t mode);
    bool ExtractSingle(TCabItem& item);
    // Answers the library's copy-file notice: the open target, 0 to skip, -1 to stop.
    std::intptr_t CopyFileNotice(const char* storedName, std::int32_t size, std::uint16_t date,
                                 std::uint16_t time, std::uint16_t attributes);
    bool WantsFile(const AnsiString& storedName, const std::wstring& wideName) const;

    std::wstring fileName_;
    std::int32_t extractFileCount_ = 0;
    std::int64_t unpackedTotal_ = 0;
    // The code recorded by the copy callback that made the library stop, 0 when none.
    std::uint16_t abortCode_ = 0;
    // A stored name of this run was refused.
    bool refused_ = false;
};
