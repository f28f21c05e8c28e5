#pragma once
// The cabinet engine, as the packing window uses it: the compressor, which packs files into
// one Microsoft Cabinet archive, and the extractor, which lists and unpacks one. Both drive
// the platform cabinet library (pack/CabLibrary, which only they include) and report
// through the events of their common base (pack/CabComponent).

#include "pack/CabCompressor.h"
#include "pack/CabExtractor.h"
