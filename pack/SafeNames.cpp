#include "pack/SafeNames.h"

#include <array>

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

// Windows opens the device whatever extension follows a reserved base name.
bool IsReservedDevice(std::wstring_view segment) {
    std::wstring_view base = segment.substr(0, segment.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 4> plain{L"CON", L"PRN", L"AUX", L"NUL"};
    for (auto name : plain)
        if (EqualsNoCase(base, name)) return true;
    if (base.size() == 4 && base[3] >= L'1' && base[3] <= L'9')
        return EqualsNoCase(base.substr(0, 3), L"COM") || EqualsNoCase(base.substr(0, 3), L"LPT");
    return false;
}

bool IsSafeSegment(std::wstring_view segment) {
    if (segment.empty()) return false;
    // Also catches "." and "..": Windows drops trailing dots and spaces, so "a." is "a".
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    return !IsReservedDevice(segment);
}

} // namespace

bool IsSafeStoredName(std::wstring_view name, bool folderEntry) {
    if (name.empty() || IsSeparator(name.front())) return false;
    for (wchar_t c : name)
        if (c == L'\0' || c == L':') return false;
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
