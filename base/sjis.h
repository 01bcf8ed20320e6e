// Shift-JIS byte classes (code page 932), on bytes taken unsigned.
#pragma once

// A byte that opens a two-byte character.
[[nodiscard]] constexpr bool IsSjisLeadByte(unsigned char ch) {
    return (ch >= 0x81 && ch <= 0x9F) || (ch >= 0xE0 && ch <= 0xFC);
}

// A byte that can close a two-byte character.
[[nodiscard]] constexpr bool IsSjisTrailByte(unsigned char ch) {
    return ch >= 0x40 && ch <= 0xFC && ch != 0x7F;
}
