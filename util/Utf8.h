#pragma once
// The one UTF-8 codec of the system: wide texts (UTF-16 on Windows, UTF-32 where wchar_t has
// 32 bits) to and from UTF-8 bytes. Needs no platform.
//
// One rule for bad input in both directions: every maximal ill-formed subsequence of the
// bytes (the longest start of a well-formed sequence, or else one byte) becomes one U+FFFD,
// as the Unicode standard recommends, and an unpaired surrogate of a text becomes U+FFFD in
// its UTF-8. The valid flag tells the caller that a substitute was made: a caller that must
// refuse such input (an archive's entry names) tests it; one that falls back to another
// reading (listing names taken byte for byte) does so itself.

#include <cstddef>
#include <string>
#include <string_view>

// The UTF-8 form of text; *valid (when given) is false when it held an unpaired surrogate.
std::string ToUtf8(std::wstring_view text, bool* valid = nullptr);
// The text of UTF-8 bytes; *valid (when given) is false when they were not well-formed
// UTF-8 (an overlong form, a surrogate, a value past U+10FFFF, a cut or stray byte).
std::wstring FromUtf8(std::string_view bytes, bool* valid = nullptr);
// Whether the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view bytes);

// One step of the decoding, for code that must decode at compile time (the deployment's
// scrambler): the sequence that starts at bytes[at] (at < size). Well-formed: its code point
// and length. Otherwise valid is false and length is that of its maximal ill-formed start
// (at least 1), which the decoding replaces by one U+FFFD. The ranges are those of the
// standard's table of well-formed byte sequences, so an overlong form, a surrogate or a
// value past U+10FFFF fails at its second byte.
struct Utf8Sequence {
    char32_t code = 0xFFFD;
    std::size_t length = 1;
    bool valid = false;
};

template <class Byte>
constexpr Utf8Sequence DecodeUtf8Sequence(const Byte* bytes, std::size_t size, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
    const unsigned char lead = byte(0);
    Utf8Sequence s;
    if (lead < 0x80) return {lead, 1, true};
    std::size_t need = 0;
    char32_t code = 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return s;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (at + k >= size) return s;
        const unsigned char b = byte(k);
        if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) return s;
        code = (code << 6) | (b & 0x3F);
        s.length = k + 1;
    }
    return {code, need + 1, true};
}
