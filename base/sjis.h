// Shift-JIS byte classes (code page 932), on bytes taken unsigned, and the JIS X 0208 forms
// of its two-byte characters as ISO-2022-JP carries them.
#pragma once

#include <cstdint>
#include <string_view>

// A byte that opens a two-byte character.
[[nodiscard]] constexpr bool IsSjisLeadByte(unsigned char ch) {
    return (ch >= 0x81 && ch <= 0x9F) || (ch >= 0xE0 && ch <= 0xFC);
}

// A byte that can close a two-byte character.
[[nodiscard]] constexpr bool IsSjisTrailByte(unsigned char ch) {
    return ch >= 0x40 && ch <= 0xFC && ch != 0x7F;
}

// Whether every byte of text belongs to a character of code page 932: ASCII, half-width
// katakana, or a lead byte with a trail byte.
[[nodiscard]] constexpr bool IsValidShiftJis(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x80 || (ch >= 0xA1 && ch <= 0xDF)) continue;
        if (!IsSjisLeadByte(ch) || i + 1 == text.size() || !IsSjisTrailByte(static_cast<unsigned char>(text[i + 1])))
            return false;
        ++i;
    }
    return true;
}

// A byte of a JIS X 0208 row or cell.
[[nodiscard]] constexpr bool IsJisByte(unsigned char ch) { return ch >= 0x21 && ch <= 0x7E; }

// The Shift-JIS code of a JIS X 0208 row and cell. Rows 0x75-0x7C are empty in JIS X 0208;
// AU's phones put their pictographs there and mean lead bytes 0xF6-0xF7 and 0xF3-0xF4.
[[nodiscard]] constexpr uint16_t SjisOfJis(unsigned char row, unsigned char cell) {
    unsigned lead = 0;
    if (row >= 0x75 && row <= 0x78) lead = 0xF6 + (row - 0x75) / 2u;
    else if (row >= 0x79 && row <= 0x7C) lead = 0xF3 + (row - 0x79) / 2u;
    else lead = ((row + 1u) >> 1) + (row <= 0x5E ? 0x70u : 0xB0u);
    const unsigned trail = row & 1 ? cell + (cell >= 0x60 ? 0x20u : 0x1Fu) : cell + 0x7Eu;
    return static_cast<uint16_t>(lead << 8 | trail);
}

// The character sets an ISO-2022-JP text switches between (RFC 1468, and the half-width
// katakana many mailers send), each designated by a three-byte escape sequence.
enum class JisSet { Ascii, TwoByte, Kana, Unknown };

// The set the escape sequence at the start of seq designates: ESC ( B and ESC ( J (JIS X 0201
// Roman, read as ASCII), ESC $ @ and ESC $ B, ESC ( I; Unknown for any other sequence.
[[nodiscard]] constexpr JisSet JisSetOfEscape(std::string_view seq) {
    seq = seq.substr(0, 3);
    if (seq == "\x1B(B" || seq == "\x1B(J") return JisSet::Ascii;
    if (seq == "\x1B$B" || seq == "\x1B$@") return JisSet::TwoByte;
    if (seq == "\x1B(I") return JisSet::Kana;
    return JisSet::Unknown;
}

// Whether text is ISO-2022-JP as RFC 1468 has it (half-width katakana allowed): 7-bit bytes,
// only the escape sequences above, and two-byte characters in whole pairs.
[[nodiscard]] constexpr bool IsValidIso2022Jp(std::string_view text) {
    JisSet set = JisSet::Ascii;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch >= 0x80) return false;
        if (ch == 0x1B) {
            set = JisSetOfEscape(text.substr(i));
            if (set == JisSet::Unknown) return false;
            i += 2;
        } else if (set == JisSet::TwoByte) {
            if (!IsJisByte(ch) || i + 1 == text.size() || !IsJisByte(static_cast<unsigned char>(text[i + 1]))) return false;
            ++i;
        } else if (set == JisSet::Kana && !(ch >= 0x21 && ch <= 0x5F)) {
            return false;
        }
    }
    return true;
}
