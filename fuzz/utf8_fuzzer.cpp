// The UTF-8 codec: any bytes decode, well-formed ones exactly; any text encodes to
// well-formed UTF-8 that reads back as the text with its unpaired surrogates substituted.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "util/Utf8.h"

namespace {

bool HasUnpairedSurrogate(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        if (c < 0xD800 || c > 0xDFFF) continue;
        if (sizeof(wchar_t) == 2 && c <= 0xDBFF && i + 1 < text.size() &&
            static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    bool valid = false;
    const std::wstring text = FromUtf8(bytes, &valid);
    FUZZ_CHECK(valid == IsUtf8(bytes));
    FUZZ_CHECK(text.size() <= bytes.size());
    FUZZ_CHECK(!HasUnpairedSurrogate(text));
    bool encoded = false;
    const std::string again = ToUtf8(text, &encoded);
    FUZZ_CHECK(encoded && IsUtf8(again));
    if (valid) FUZZ_CHECK(again == bytes);

    // The same bytes as 16-bit units of a text, surrogates and all.
    std::wstring units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    const std::string utf8 = ToUtf8(units, &encoded);
    FUZZ_CHECK(encoded == !HasUnpairedSurrogate(units));
    FUZZ_CHECK(IsUtf8(utf8));
    const std::wstring back = FromUtf8(utf8, &valid);
    FUZZ_CHECK(valid);
    if (encoded) FUZZ_CHECK(back == units);
    return 0;
}
