// The platform-free utilities: short-text conversions, text helpers, the blank test, the
// date normalisation and the credential unscrambling. No Windows header here.

#include "util/pres.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "util/Cp1250.h"

// ---- Short texts ---------------------------------------------------------------------

std::string ToCp1250(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        int b = cp1250::FromUnicode(static_cast<char32_t>(ch));
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

std::wstring FromCp1250(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (char b : bytes)
        out.push_back(static_cast<wchar_t>(cp1250::ToUnicode(static_cast<unsigned char>(b))));
    return out;
}

ShortString ToShort(const std::wstring& text) {
    return ToCp1250(text.substr(0, std::min(text.size(), kShortTextMax)));
}

std::wstring FromShort(const ShortString& bytes) {
    return FromCp1250(bytes.substr(0, std::min(bytes.size(), kShortTextMax)));
}

unsigned char AnsiUpperByte(unsigned char b) {
    return cp1250::ToUpper(b);
}
unsigned char AnsiLowerByte(unsigned char b) {
    return cp1250::ToLower(b);
}

// ---- Text and path helpers -----------------------------------------------------------

std::wstring TrimSpaces(const std::wstring& text) {
    if (text.empty()) return text;
    std::size_t end = text.size();
    while (end > 1 && text[end - 1] == L' ')
        --end;
    std::size_t start = 0;
    while (start + 1 < end && text[start] == L' ')
        ++start;
    return text.substr(start, end - start);
}

std::wstring ReplaceChar(const std::wstring& text, wchar_t find, wchar_t put) {
    std::wstring out = text;
    std::replace(out.begin(), out.end(), find, put);
    return out;
}

std::wstring RemoveChar(const std::wstring& text, wchar_t ch) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text)
        if (c != ch) out.push_back(c);
    return out;
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& find,
                        const std::wstring& replacement) {
    if (find.empty()) return text;
    std::wstring out = text;
    for (std::size_t pos = out.find(find); pos != std::wstring::npos; pos = out.find(find))
        out.replace(pos, find.size(), replacement);
    return out;
}

std::wstring WithBackslash(const ShortString& text) {
    ShortString s = ToShort(TrimSpaces(FromShort(text)));
    if (s.empty() || s.back() != '\\') {
        s.push_back('\\');
        if (s.size() > kShortTextMax) s.resize(kShortTextMax);
    }
    return FromShort(s);
}

std::wstring FolderWithBackslash(const std::wstring& folder) {
    std::wstring f = TrimSpaces(folder);
    if (f.empty() || f.back() != L'\\') f.push_back(L'\\');
    return f;
}

std::wstring CompactTimestamp() {
    return CompactTimestamp(Now());
}

std::wstring CompactTimestamp(TDateTime moment) {
    std::wstring text = DateTimeToStr(moment);
    text = RemoveChar(text, L'-');
    text = RemoveChar(text, L':');
    return ReplaceChar(text, L' ', L'g');
}

namespace {
std::size_t LastPathDelimiter(const std::wstring& path) {
    return path.find_last_of(L"\\:");
}
} // namespace

std::wstring ExtractFileName(const std::wstring& path) {
    std::size_t p = LastPathDelimiter(path);
    return p == std::wstring::npos ? path : path.substr(p + 1);
}

std::wstring ExtractFilePath(const std::wstring& path) {
    std::size_t p = LastPathDelimiter(path);
    return p == std::wstring::npos ? std::wstring() : path.substr(0, p + 1);
}

std::wstring ExtractFileExt(const std::wstring& path) {
    std::wstring name = ExtractFileName(path);
    std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext) {
    std::size_t nameStart = ExtractFilePath(path).size();
    std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart) return path + ext;
    return path.substr(0, dot) + ext;
}

// ---- Blank test and date helpers -----------------------------------------------------

std::wstring RepeatChar(wchar_t ch, std::int32_t count) {
    if (count <= 0) return {};
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), kShortTextMax);
    return FromShort(ToShort(std::wstring(n, ch)));
}

bool IsBlank(const std::wstring& text) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), 0x7FFFFFFF));
    return text == RepeatChar(L' ', n) || text == RepeatChar(L'\0', n);
}

void SplitFields(const std::wstring& text, wchar_t separator, SplitFieldArray& fields, int& count) {
    count = -1;
    for (auto& f : fields)
        f.clear();
    if (IsBlank(text)) return;
    std::wstring rest = text;
    int i = 0;
    for (;;) {
        std::size_t p = rest.find(separator);
        std::wstring field;
        if (p == std::wstring::npos) {
            field = rest;
            rest.clear();
        } else {
            field = rest.substr(0, p);
            rest = rest.substr(p + 1);
        }
        fields[static_cast<std::size_t>(i)] = field;
        const bool done = IsBlank(rest) || rest == L"\r\n";
        if (done) break;
        // The array holds 901 fields; a text with more separators keeps its last fields in
        // the last slot rather than writing past the array.
        if (i + 1 < kSplitFieldCount) ++i;
    }
    count = i;
}

std::wstring NormalizeDate(const std::wstring& text) {
    if (text.find(FormatSettings().DateSeparator) != std::wstring::npos) return text;
    SplitFieldArray fields;
    int count = 0;
    SplitFields(text, L'.', fields, count);
    return fields[2] + L"-" + fields[1] + L"-" + fields[0];
}

// ---- Credential unscrambling ---------------------------------------------------------

bool IsNumeric(const std::wstring& text) {
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || c == L'+' || c == L',' || c == L'-' || c == L'.';
    });
}

int ToIntOrZero(const std::wstring& text) {
    std::wstring t = TrimSpaces(text);
    if (!IsNumeric(t)) return 0;
    std::size_t i = 0;
    bool negative = false;
    if (t[0] == L'+' || t[0] == L'-') {
        negative = t[0] == L'-';
        i = 1;
    }
    long long value = 0;
    bool digits = i < t.size();
    for (; i < t.size() && digits; ++i) {
        if (t[i] < L'0' || t[i] > L'9') {
            digits = false;
            break;
        }
        value = value * 10 + (t[i] - L'0');
        if (value > 2147483648LL) digits = false;
    }
    if (negative) value = -value;
    if (!digits || value > 2147483647LL || value < -2147483648LL)
        throw EConvertError(L"'" + t + L"' is not a valid integer value");
    return static_cast<int>(value);
}

std::wstring GetField(std::wstring text, int n, wchar_t separator) {
    if (IsBlank(text)) return {};
    for (int i = 0;; ++i) {
        std::size_t p = text.find(separator);
        std::wstring field;
        if (p == std::wstring::npos) {
            field = text;
            text.clear();
        } else {
            field = text.substr(0, p);
            text = text.substr(p + 1);
        }
        if (i == n) return field;
        if (IsBlank(text)) return {};
    }
}

std::wstring ToPolishLetters(const ShortString& bytes) {
    ShortString out = bytes;
    for (char& b : out)
        b = static_cast<char>(cp1250::ToPolish(static_cast<unsigned char>(b)));
    return FromShort(out);
}

namespace {

// Puts b at the 1-based position p of r in place of the byte there; past the end it is
// appended, before the first position it is inserted at the front. Short texts stay at
// 255 bytes.
void ReplaceByteAt(ShortString& r, int p, char b) {
    if (p < 1) {
        r.insert(r.begin(), b);
    } else if (static_cast<std::size_t>(p) <= r.size()) {
        r[static_cast<std::size_t>(p) - 1] = b;
    } else {
        r.push_back(b);
    }
    if (r.size() > kShortTextMax) r.resize(kShortTextMax);
}

} // namespace

ShortString UnscrambleText(ShortString s, const ShortString& key, bool withMarks) {
    std::wstring upper, polish, ziet;
    if (withMarks) {
        std::wstring text = FromShort(s);
        if (text.find(L'!') != std::wstring::npos) {
            upper = GetField(text, 1, L'!');
            text = GetField(text, 0, L'!');
        }
        if (upper.find(L'#') != std::wstring::npos) {
            polish = GetField(upper, 1, L'#');
            upper = GetField(upper, 0, L'#');
        }
        if (polish.find(L'$') != std::wstring::npos) {
            ziet = GetField(polish, 1, L'$');
            polish = GetField(polish, 0, L'$');
        }
        s = ToShort(text);
    }

    ShortString r;
    if (!TrimSpaces(FromShort(key)).empty()) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            unsigned char k = i < key.size() ? static_cast<unsigned char>(key[i]) : 'X';
            if (k >= 'a' && k <= 'z') k = static_cast<unsigned char>(k - 0x20);
            const int c = static_cast<unsigned char>(s[i]) - 47;
            const int v = k - 31;
            const int b = c >= v ? c - v + 31 : c - v + 96;
            r.push_back(static_cast<char>(b & 0xFF));
        }
    }
    for (char& b : r)
        b = static_cast<char>(AnsiLowerByte(static_cast<unsigned char>(b)));

    // A Polish or upper-case mark past the end has no byte to change: it is left out.
    auto byteAt = [&r](int p, unsigned char& out) {
        if (p < 1 || static_cast<std::size_t>(p) > r.size()) return false;
        out = static_cast<unsigned char>(r[static_cast<std::size_t>(p) - 1]);
        return true;
    };
    for (wchar_t d : polish) {
        int p = ToIntOrZero(std::wstring(1, d));
        unsigned char b = 0;
        if (byteAt(p, b)) ReplaceByteAt(r, p, ToShort(ToPolishLetters(ShortString(1, b)))[0]);
    }
    for (wchar_t d : ziet)
        ReplaceByteAt(r, ToIntOrZero(std::wstring(1, d)), static_cast<char>(cp1250::kSmallZiet));
    for (wchar_t d : upper) {
        int p = ToIntOrZero(std::wstring(1, d));
        unsigned char b = 0;
        if (byteAt(p, b)) ReplaceByteAt(r, p, static_cast<char>(AnsiUpperByte(b)));
    }
    return r;
}

std::wstring UnscrambleDigits(const std::wstring& text) {
    std::wstring out;
    const std::size_t n = text.size() / 3;
    out.reserve(n);
    for (std::size_t j = 0; j < n; ++j) {
        int d = ToIntOrZero(text.substr(3 * j, 3));
        out.push_back(static_cast<wchar_t>(static_cast<unsigned>(d - 1) & 0xFFFF));
    }
    return out;
}
