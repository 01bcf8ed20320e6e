// UTF-8 as RFC 3629 has it: no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

struct Utf8Char {
    char32_t cp;    // U+FFFD when invalid
    size_t length;  // bytes taken: a valid character, or the longest start of one (at least 1)
    bool valid;
};

// Inline: the walks call it for every character that is not ASCII.
[[nodiscard]] inline Utf8Char DecodeUtf8(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1, true};
    size_t length = 0;
    char32_t cp = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {0xFFFD, 1, false};
    }
    for (size_t k = 1; k < length; ++k) {
        const bool fits = i + k < text.size() && byte(i + k) >= (k == 1 ? low : 0x80) && byte(i + k) <= (k == 1 ? high : 0xBF);
        if (!fits) return {0xFFFD, k, false};
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    return {cp, length, true};
}

[[nodiscard]] bool IsValidUtf8(std::string_view text);

// U+FFFD, written for a byte sequence that is no UTF-8.
constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";
