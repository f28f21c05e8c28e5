#pragma once
// The compile-time scrambler of the built-in credentials: the exact inverse of
// UnscrambleText with marks. A plain value (UTF-8) becomes a body of one byte per
// character plus the position marks "!" upper case, "#" Polish letters, "$" the letter ź.
// Marks exist for the first nine characters only, so an upper-case or Polish letter past the
// ninth cannot be carried. Needs no platform.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/Cp1250.h"
#include "util/Utf8.h"

namespace deploy {

enum class ScrambleStatus {
    Ok,
    InvalidUtf8,
    NotInCodePage,    // a character code page 1250 cannot hold
    MarkPastNinth,    // an upper-case or Polish letter past the ninth character
    ControlCharacter, // a control character
    NotCarried,       // a byte the body cannot carry at this position
    TooLong,          // more than 255 bytes with its marks
};

struct ScrambledText {
    char bytes[256] = {};
    std::size_t size = 0;
    ScrambleStatus status = ScrambleStatus::Ok;
    std::size_t position = 0; // 1-based character at fault
    constexpr std::string_view View() const { return {bytes, size}; }
};

namespace detail {

// The body byte that unscrambles to b with key byte k, or -1.
constexpr int EncodeByte(unsigned char b, unsigned char k) {
    if (k >= 'a' && k <= 'z') k = static_cast<unsigned char>(k - 0x20);
    const int v = k - 31;
    if (b >= 31 && b + 16 + v <= 255) return b + 16 + v;
    if (b < 96 && b - 49 + v >= 1 && b - 49 + v <= 255 && b - 49 + v != '!') return b - 49 + v;
    if (b - 305 + v >= 1 && b - 305 + v <= 255 && b - 305 + v != '!') return b - 305 + v;
    return -1;
}

} // namespace detail

// Scrambles plain (UTF-8, n bytes) with key (six digits). Usable at run time too (tests).
constexpr ScrambledText ScrambleText(const char8_t* plain, std::size_t n, const char* key) {
    ScrambledText out;
    char marksUpper[10] = {}, marksPolish[10] = {}, marksZiet[10] = {};
    std::size_t nu = 0, np = 0, nz = 0;
    std::size_t keyLength = 0;
    while (key[keyLength] != '\0')
        ++keyLength;
    std::size_t pos = 0; // characters done
    std::size_t i = 0;
    auto fail = [&out](ScrambleStatus s, std::size_t p) {
        out.status = s;
        out.position = p;
        out.size = 0;
        return out;
    };
    while (i < n) {
        // One UTF-8 character, by the codec's own rule.
        const Utf8Sequence sequence = DecodeUtf8Sequence(plain, n, i);
        if (!sequence.valid) return fail(ScrambleStatus::InvalidUtf8, pos + 1);
        const char32_t c = sequence.code;
        i += sequence.length;
        ++pos;

        const int code = cp1250::FromUnicode(c);
        if (code < 0) return fail(ScrambleStatus::NotInCodePage, pos);
        const auto b = static_cast<unsigned char>(code);
        if (b < 32 || b == 127) return fail(ScrambleStatus::ControlCharacter, pos);

        const unsigned char lower = cp1250::ToLower(b);
        unsigned char base = lower;
        bool upper = lower != b, polish = false, ziet = false;
        if (lower == cp1250::kSmallZiet) {
            ziet = true;
            base = 'z';
        } else {
            for (const auto& p : cp1250::kPolishLetters)
                if (p.polish == lower) {
                    polish = true;
                    base = p.plain;
                }
        }
        if (upper || polish || ziet) {
            if (pos > 9) return fail(ScrambleStatus::MarkPastNinth, pos);
            const char digit = static_cast<char>('0' + pos);
            if (upper) marksUpper[nu++] = digit;
            if (polish) marksPolish[np++] = digit;
            if (ziet) marksZiet[nz++] = digit;
        }
        const unsigned char k = pos <= keyLength ? static_cast<unsigned char>(key[pos - 1]) : 'X';
        const int s = detail::EncodeByte(base, k);
        if (s < 0) return fail(ScrambleStatus::NotCarried, pos);
        if (out.size >= 255) return fail(ScrambleStatus::TooLong, pos);
        out.bytes[out.size++] = static_cast<char>(s);
    }
    auto append = [&out](char ch) {
        if (out.size >= 255) return false;
        out.bytes[out.size++] = ch;
        return true;
    };
    bool fits = true;
    if (nu + np + nz > 0) {
        fits = fits && append('!');
        for (std::size_t k = 0; k < nu; ++k)
            fits = fits && append(marksUpper[k]);
    }
    if (np + nz > 0) {
        fits = fits && append('#');
        for (std::size_t k = 0; k < np; ++k)
            fits = fits && append(marksPolish[k]);
    }
    if (nz > 0) {
        fits = fits && append('$');
        for (std::size_t k = 0; k < nz; ++k)
            fits = fits && append(marksZiet[k]);
    }
    if (!fits) return fail(ScrambleStatus::TooLong, pos);
    return out;
}

// Calling one of these in a constant expression stops the build; the name says why and
// the template argument names the value.
namespace build_stops_because {
template <class Value>
void value_is_not_valid_utf8();
template <class Value>
void value_has_a_character_code_page_1250_cannot_hold();
template <class Value>
void an_upper_case_or_Polish_letter_past_the_ninth_character_cannot_be_marked();
template <class Value>
void value_has_a_control_character();
template <class Value>
void a_character_cannot_be_carried_by_the_scrambled_form_at_its_position();
template <class Value>
void value_is_longer_than_255_bytes_with_its_marks();
} // namespace build_stops_because

template <class Value, std::size_t N, std::size_t K>
consteval ScrambledText Scramble(const char8_t (&plain)[N], const char (&key)[K]) {
    ScrambledText t = ScrambleText(plain, N - 1, key);
    switch (t.status) {
    case ScrambleStatus::Ok:
        break;
    case ScrambleStatus::InvalidUtf8:
        build_stops_because::value_is_not_valid_utf8<Value>();
        break;
    case ScrambleStatus::NotInCodePage:
        build_stops_because::value_has_a_character_code_page_1250_cannot_hold<Value>();
        break;
    case ScrambleStatus::MarkPastNinth:
        build_stops_because::
            an_upper_case_or_Polish_letter_past_the_ninth_character_cannot_be_marked<Value>();
        break;
    case ScrambleStatus::ControlCharacter:
        build_stops_because::value_has_a_control_character<Value>();
        break;
    case ScrambleStatus::NotCarried:
        build_stops_because::a_character_cannot_be_carried_by_the_scrambled_form_at_its_position<
            Value>();
        break;
    case ScrambleStatus::TooLong:
        build_stops_because::value_is_longer_than_255_bytes_with_its_marks<Value>();
        break;
    }
    return t;
}

} // namespace deploy
