#pragma once
// Code page 1250 (Central European), the code page of every short text. Usable at compile
// time (the deployment scrambler) and needs no platform.

#include <cstdint>

namespace cp1250 {

// Unicode code points of the bytes 0x80 to 0xFF. The five bytes the code page leaves
// undefined map to the C1 control of the same value, as the platform's conversion does.
inline constexpr char16_t kHigh[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

constexpr char32_t ToUnicode(unsigned char b) {
    return b < 0x80 ? b : kHigh[b - 0x80];
}

// The byte of a code point, or -1 when the code page cannot hold it.
constexpr int FromUnicode(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    for (int i = 0; i < 128; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

// Case pairs of the code page: ASCII letters and the accented letters.
constexpr unsigned char ToLower(unsigned char b) {
    if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + 0x20);
    switch (b) {
    case 0x8A:
    case 0x8C:
    case 0x8D:
    case 0x8E:
    case 0x8F:
        return static_cast<unsigned char>(b + 0x10);
    case 0xA3:
        return 0xB3;
    case 0xA5:
        return 0xB9;
    case 0xAA:
        return 0xBA;
    case 0xAF:
        return 0xBF;
    case 0xBC:
        return 0xBE;
    default:
        break;
    }
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<unsigned char>(b + 0x20);
    return b;
}

constexpr unsigned char ToUpper(unsigned char b) {
    if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 0x20);
    switch (b) {
    case 0x9A:
    case 0x9C:
    case 0x9D:
    case 0x9E:
    case 0x9F:
        return static_cast<unsigned char>(b - 0x10);
    case 0xB3:
        return 0xA3;
    case 0xB9:
        return 0xA5;
    case 0xBA:
        return 0xAA;
    case 0xBF:
        return 0xAF;
    case 0xBE:
        return 0xBC;
    default:
        break;
    }
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<unsigned char>(b - 0x20);
    return b;
}

// The Polish letters that the unscrambling puts in for plain letters (ź comes separately).
struct PolishPair {
    unsigned char plain;
    unsigned char polish;
};
inline constexpr PolishPair kPolishLetters[16] = {
    {'A', 0xA5}, {'a', 0xB9}, {'C', 0xC6}, {'c', 0xE6}, {'E', 0xCA}, {'e', 0xEA},
    {'L', 0xA3}, {'l', 0xB3}, {'N', 0xD1}, {'n', 0xF1}, {'O', 0xD3}, {'o', 0xF3},
    {'S', 0x8C}, {'s', 0x9C}, {'Z', 0xAF}, {'z', 0xBF},
};
inline constexpr unsigned char kSmallZiet = 0x9F; // ź

constexpr unsigned char ToPolish(unsigned char b) {
    for (const auto& p : kPolishLetters)
        if (p.plain == b) return p.polish;
    return b;
}

} // namespace cp1250
