#pragma once
// The packing window: a small always-on-top progress window shown while a cabinet is packed
// or unpacked.

#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"

class TUnvFMZip : public gui::Form {
public:
    TUnvFMZip();

    gui::Label L_FNaz; // file line; sizes itself to its text
    gui::Label L_CCmp; // percentage and result line
    gui::ProgressBar PBarC;
    // TODO(pack): the extractor DCompr and the compressor CCompr (pack/) with their event
    // handlers, the fields Fst, PlkS, PlkCCmp, DstPath, PlkDCmp, Flast, and the operations
    // CCompres, DCompres, ZipFile, UnZipFile.
};

extern TUnvFMZip* UnvFMZip;
