#pragma once
// The ZIP pair of the packing window: one file into a ZIP archive, and a ZIP archive
// unpacked into a folder. Neither shows anything; the answer alone tells. Both stream the
// data in chunks, so memory stays flat whatever the size.

#include <string>

// Writes ArchiveName (an existing file there is replaced) holding the one deflated entry
// Filename under its file-name part. The archive is written under a temporary name beside
// it and renamed onto ArchiveName when complete: no when any step failed, and then the old
// archive is as it was and nothing else is left. A file of 4 GiB or more answers no.
bool ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename);

// Unpacks every entry of ArchiveName into Path, keeping the entries' folders, times and (for
// entries made on MS-DOS) attributes. The structure and every name are checked first; each
// entry is then inflated once into a temporary file beside its target, its size and CRC-32
// checked as the data passes, and only when all are written are they renamed onto their
// targets. No when any step failed: then no target has changed, and the temporary files and
// the folders the run created (while empty) are gone.
bool UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path);
