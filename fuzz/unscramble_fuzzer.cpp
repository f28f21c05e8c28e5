// The credential unscrambling over any short text and key, with and without marks; the
// digit form; the field and number helpers it uses. A mark that is numeric but no integer
// raises EConvertError, the system's own failure: that is an answer, not a finding. Also the
// scrambler's promise: whatever it accepts, the unscrambling with the same key gives back.

#include <cstddef>
#include <cstdint>
#include <string>

#include "deploy/Scrambler.h"
#include "fuzz/FuzzSupport.h"
#include "util/pres.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool withMarks = data[0] & 1;
    const auto separator = static_cast<wchar_t>(data[1]);
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    // The key ends at the first NUL; the rest is the scrambled text.
    const std::size_t nul = bytes.find('\0');
    const ShortString key = bytes.substr(0, std::min<std::size_t>(nul, kShortTextMax));
    const ShortString text = nul == std::string::npos ? bytes.substr(0, kShortTextMax)
                                                      : bytes.substr(nul + 1, kShortTextMax);

    try {
        const ShortString plain = UnscrambleText(text, key, withMarks);
        FUZZ_CHECK(plain.size() <= kShortTextMax);
    } catch (const EConvertError&) {
    }
    const std::wstring wide = FromShort(text);
    try {
        FUZZ_CHECK(UnscrambleDigits(wide).size() == wide.size() / 3);
    } catch (const EConvertError&) {
    }
    try {
        const int value = ToIntOrZero(wide);
        if (!IsNumeric(TrimSpaces(wide))) FUZZ_CHECK(value == 0);
    } catch (const EConvertError&) {
    }
    const std::wstring field = GetField(wide, data[1] % 8, separator);
    FUZZ_CHECK(field.size() <= wide.size());

    // Round trip of the deployment's scrambler with a six-digit key.
    char digits[7] = {};
    for (std::size_t i = 0; i < 6; ++i)
        digits[i] =
            static_cast<char>('0' + (i < key.size() ? static_cast<unsigned char>(key[i]) % 10 : 0));
    const auto* plain = reinterpret_cast<const char8_t*>(text.data());
    const deploy::ScrambledText scrambled = deploy::ScrambleText(plain, text.size(), digits);
    if (scrambled.status == deploy::ScrambleStatus::Ok) {
        bool utf8 = false;
        const std::wstring expected = FromUtf8(text, &utf8);
        FUZZ_CHECK(utf8);
        FUZZ_CHECK(FromShort(UnscrambleText(ShortString(scrambled.View()), digits, true)) ==
                   expected);
    }
    return 0;
}
