#pragma once
// Whether a name stored in an archive may be joined to a destination folder and written
// there. Needs no platform.

#include <string_view>

// False for a name that could leave the destination or reach something that is no plain
// file: empty; absolute, with a drive letter or a UNC prefix; with a ".." segment under
// either separator; with ":" (a drive or a data stream), a NUL, a control character
// (1-31) or one of < > " | ? *; with a segment ending in a dot or a space, which Windows
// drops; naming a device (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 and
// COM¹²³/LPT¹²³ with superscript digits, in any letter case, with or without an extension
// or spaces before it); with an empty segment. A single trailing separator (a folder entry)
// is allowed only when folderEntry is set.
// The same holds for the name's look-alike form, in which every character that code pages
// map by best fit onto ASCII that matters in a path (fullwidth forms, look-alike dots,
// slashes, colons and spaces, super- and subscript digits, Roman numeral letters) stands as
// that ASCII: no 8-bit form of an accepted name can name another place.
bool IsSafeStoredName(std::wstring_view name, bool folderEntry = false);
