#include "util/TextFile.h"

#include "util/Utf8.h"
#include "util/pres.h"

std::wstring DecodeTextFile(std::string_view bytes) {
    const auto starts = [&bytes](std::string_view mark) {
        return bytes.substr(0, mark.size()) == mark;
    };
    if (starts("\xEF\xBB\xBF")) return FromUtf8(bytes.substr(3));
    const bool le = starts("\xFF\xFE"), be = starts("\xFE\xFF");
    if (le || be) {
        std::wstring text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            text.push_back(static_cast<wchar_t>(le ? a | (b << 8) : (a << 8) | b));
        }
        return text;
    }
    return FromCp1250(std::string(bytes));
}

std::vector<std::wstring> SplitLines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    std::wstring line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            lines.push_back(line);
            line.clear();
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}
