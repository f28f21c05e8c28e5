#pragma once
// The packing window: a small always-on-top progress window shown while a cabinet is packed
// or unpacked. It drives the cabinet engine's compressor CCompr and extractor DCompr and
// turns their events into the labels' texts and the gauge; ZipFile and UnZipFile pack and
// unpack single ZIP archives without any display.

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"
#include "pack/CabEngine.h"

class TUnvFMZip : public gui::Form {
public:
    TUnvFMZip();

    gui::Label L_FNaz; // file line; sizes itself to its text
    gui::Label L_CCmp; // percentage and result line
    gui::ProgressBar PBarC;
    TCabExtractor DCompr;  // overwriting off, missing folders created
    TCabCompressor CCompr; // MSZIP; no error handler, so packing errors show no box

    // Yes after CCompres, no after DCompres.
    bool Fst = false;
    // The caller's list of the last CCompres (not owned; valid only during the call).
    const std::vector<std::wstring>* PlkS = nullptr;
    std::wstring PlkCCmp;    // cabinet path of the last CCompres, after the ".cab" rule
    std::wstring DstPath;    // destination folder of the last DCompres
    std::wstring PlkDCmp;    // cabinet path of the last DCompres
    std::int32_t Flast = -1; // index of the file last shown while packing

    // Packs every file of pPlks, stored under its bare name, into the cabinet pPlkCCmp (".cab"
    // appended when its name has no extension), with the window shown. Yes when the cabinet
    // was written (single files that failed are recorded, not fatal).
    bool CCompres(std::vector<std::wstring>& pPlks, std::wstring pPlkCCmp);
    // Unpacks the cabinet pPlkDCmp into pDstPath with the window shown and sets PlkDcm to the
    // stored name of its first item. A file that is no cabinet fails with a text naming it
    // and leaves PlkDcm alone. Yes when the whole copy succeeded.
    bool DCompres(std::wstring pPlkDCmp, std::wstring pDstPath, std::wstring& PlkDcm);
    bool ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename);
    bool UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path);

    // (Position - Min) / (Max - Min) * 100 rounded half to even, kept within 0..100; with
    // Max equal to Min: 100 once Position has reached Max, else 0.
    static int PercentOf(std::int64_t Min, std::int64_t Max, std::int64_t Position);

    void CComprStart(TCabComponent& Sender);
    void CComprProgress(TCabComponent& Sender, const AnsiString& FileName, std::int32_t FileIndex,
                        std::int64_t CurrentFileSize, std::int64_t CurrentCabSize);
    void CComprFinish(TCabComponent& Sender);
    void DComprStart(TCabComponent& Sender);
    void DComprProgress(TCabComponent& Sender, const AnsiString& FileName, std::int32_t FileIndex,
                        std::int64_t CurrentFileSize, std::int64_t CurrentCabSize);
    void DComprFinish(TCabComponent& Sender);
    void DComprError(TCabComponent& Sender, std::uint16_t ErrorCode);
    void DComprFileExists(TCabComponent& Sender, const AnsiString& ItemName, bool& Cancel);
    void DComprFolderRequired(TCabComponent& Sender, const AnsiString& ItemName, bool& Cancel);
};

extern TUnvFMZip* UnvFMZip;
