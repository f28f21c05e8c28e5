#pragma once
// The ZIP pair of the packing window: one file into a ZIP archive, and a ZIP archive
// unpacked into a folder. Neither shows anything; the answer alone tells.

#include <string>

// Writes ArchiveName (an existing file there is replaced) holding the one deflated entry
// Filename under its file-name part. No when any step failed; a half-written archive is
// removed.
bool ZipFile(const std::wstring& ArchiveName, const std::wstring& Filename);

// Unpacks every entry of ArchiveName into Path, keeping the entries' folders, times and (for
// entries made on MS-DOS) attributes. The whole archive is checked first (structure, names
// that stay inside Path, each entry's size and CRC-32); an archive that fails any check
// answers no and writes nothing.
bool UnZipFile(const std::wstring& ArchiveName, const std::wstring& Path);
