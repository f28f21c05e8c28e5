#pragma once
// Whether a name stored in an archive may be joined to a destination folder and written
// there. Needs no platform.

#include <string_view>

// False for a name that could leave the destination or reach something that is no plain
// file: empty; absolute, with a drive letter or a UNC prefix; with a ".." segment under
// either separator; with ":" or a NUL; with a segment ending in a dot or a space; naming a
// reserved device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension);
// with an empty segment. A single trailing separator (a folder entry) is allowed only when
// folderEntry is set.
bool IsSafeStoredName(std::wstring_view name, bool folderEntry = false);
