#include "pack/SafeNames.h"

#include <array>
#include <string>

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

wchar_t Upper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// The digits Windows accepts after COM and LPT: 0-9 and the superscripts ¹ ² ³.
bool IsDeviceDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

// Windows opens the device whatever extension, or spaces before it, follow the base name.
bool IsReservedDevice(std::wstring_view segment) {
    std::wstring_view base = segment.substr(0, segment.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> plain{L"CON", L"PRN",    L"AUX",
                                                            L"NUL", L"CONIN$", L"CONOUT$"};
    for (auto name : plain)
        if (EqualsNoCase(base, name)) return true;
    if (base.size() == 4 && IsDeviceDigit(base[3]))
        return EqualsNoCase(base.substr(0, 3), L"COM") || EqualsNoCase(base.substr(0, 3), L"LPT");
    return false;
}

// Characters no Windows file name may hold.
bool IsForbidden(wchar_t c) {
    return c < 32 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
           c == L'*';
}

bool IsSafeSegment(std::wstring_view segment) {
    if (segment.empty()) return false;
    // Also catches "." and "..": Windows drops trailing dots and spaces, so "a." is "a".
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    return !IsReservedDevice(segment);
}

bool IsSafeAsWritten(std::wstring_view name, bool folderEntry) {
    if (name.empty() || IsSeparator(name.front())) return false;
    for (wchar_t c : name)
        if (IsForbidden(c)) return false;
    if (IsSeparator(name.back())) {
        if (!folderEntry) return false;
        name.remove_suffix(1);
        if (name.empty()) return false;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (!IsSafeSegment(name.substr(start, end - start))) return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

wchar_t LookAlike(wchar_t c) {
    if (c >= L'\uFF01' && c <= L'\uFF5E') return static_cast<wchar_t>(c - 0xFEE0); // fullwidth
    if ((c >= L'\u2000' && c <= L'\u200A') || c == L'\u00A0' || c == L'\u202F' || c == L'\u205F' ||
        c == L'\u3000')
        return L' ';
    if (c >= L'\u2080' && c <= L'\u2089') return static_cast<wchar_t>(L'0' + (c - L'\u2080'));
    if (c >= L'\u2074' && c <= L'\u2079') return static_cast<wchar_t>(L'4' + (c - L'\u2074'));
    switch (c) {
    case L'\u2024': // one dot leader
    case L'\uFE52': // small full stop
    case L'\uFF61': // halfwidth ideographic full stop
        return L'.';
    case L'\u2044': // fraction slash
    case L'\u2215': // division slash
    case L'\u29F8': // big solidus
        return L'/';
    case L'\u2216': // set minus
    case L'\u29F5': // reverse solidus operator
    case L'\u29F9': // big reverse solidus
    case L'\uFE68': // small reverse solidus
        return L'\\';
    case L'\u0589': // Armenian full stop
    case L'\u2236': // ratio
    case L'\uFE13': // presentation form for vertical colon
    case L'\uFE55': // small colon
    case L'\uA789': // modifier letter colon
        return L':';
    case L'\u2070':
        return L'0';
    case L'\u00B9':
        return L'1';
    case L'\u00B2':
        return L'2';
    case L'\u00B3':
        return L'3';
    case L'\u2160':
        return L'I';
    case L'\u2164':
        return L'V';
    case L'\u2169':
        return L'X';
    case L'\u216C':
        return L'L';
    case L'\u216D':
        return L'C';
    case L'\u216E':
        return L'D';
    case L'\u216F':
        return L'M';
    case L'\u2170':
        return L'i';
    case L'\u2174':
        return L'v';
    case L'\u2179':
        return L'x';
    case L'\u217C':
        return L'l';
    case L'\u217D':
        return L'c';
    case L'\u217E':
        return L'd';
    case L'\u217F':
        return L'm';
    default:
        return c;
    }
}

std::wstring LookAlikeForm(std::wstring_view name) {
    std::wstring out(name);
    for (wchar_t& c : out)
        c = LookAlike(c);
    return out;
}

} // namespace

bool IsSafeStoredName(std::wstring_view name, bool folderEntry) {
    if (!IsSafeAsWritten(name, folderEntry)) return false;
    // A look-alike turned into a separator does not make a folder entry.
    return IsSafeAsWritten(LookAlikeForm(name), folderEntry && IsSeparator(name.back()));
}
