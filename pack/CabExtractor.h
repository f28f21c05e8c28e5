#pragma once
// The extractor: lists a Microsoft Cabinet archive and unpacks its files, all, the selected
// ones or one, through the platform cabinet library's decompression interface (FDI). A run
// is synchronous on the calling thread and reports through the events of its TCabComponent
// base and its own decisions (a missing folder, an existing file).

#include <cstdint>
#include <string>

#include "pack/CabComponent.h"

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
    bool WantsFile(const AnsiString& storedName, const std::wstring& wideName) const;

    std::wstring fileName_;
    std::int32_t extractFileCount_ = 0;
    std::int64_t unpackedTotal_ = 0;
    // The code recorded by the copy callback that made the library stop, 0 when none.
    std::uint16_t abortCode_ = 0;
    // A stored name of this run was refused.
    bool refused_ = false;
};
