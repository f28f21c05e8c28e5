#pragma once
// The file-system helpers every unit uses: whether a file or a folder exists, making a folder
// with its parents, a file's size and its whole content. One rule for all of them: "\" and
// "/" both separate the parts of a path; a path that ends in a separator names a folder; a
// link counts only when it leads somewhere (what it names is what opening it reaches).
// Failures that are raised are EInOutError naming the path and the system's reason.

#include <cstdint>
#include <string>
#include <vector>

// Whether path names an existing file: not a folder, not a link that leads nowhere.
bool FileExists(const std::wstring& path);
// Whether path names an existing folder (with or without a trailing separator), not a link
// that leads nowhere.
bool FolderExists(const std::wstring& path);
// Makes the folder and every missing parent; a drive ("C:") is never made. Each folder made
// is appended to *created (when given) as soon as it exists, parents first, so that a caller
// can take them away again even after a failure part-way.
void MakeFolders(const std::wstring& path, std::vector<std::wstring>* created = nullptr);
// The size in bytes of the file path names (through a link, of its target); -1 when there
// is no such file (a folder is none) or its entry cannot be read.
std::int64_t FileSize(const std::wstring& path);
// The whole content of the file, read with others allowed to read it meanwhile.
std::string ReadWholeFile(const std::wstring& path);
// The full path of the program's own executable ("" when the system does not tell).
std::wstring ProgramPath();
