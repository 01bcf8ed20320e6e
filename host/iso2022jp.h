// The host's ISO-2022-JP <-> Shift-JIS codec (BKA_ISO_2022_JP).
#pragma once

#include <string>
#include <string_view>

// ISO-2022-JP to Shift-JIS. ESC $ @ and ESC $ B enter JIS X 0208, ESC ( B and ESC ( J
// return to single bytes, ESC ( I enters JIS X 0201 katakana. Every byte that is no part of
// a recognised sequence (8-bit bytes, CR, LF, an unknown escape) passes unchanged. JIS rows
// 0x75-0x7C carry AU's pictographs and become AU's own Shift-JIS codes.
// Both may write into the capacity of reuse, a string the caller keeps between calls.
[[nodiscard]] std::string DecodeIso2022Jp(std::string_view jis, std::string reuse = {});

// Shift-JIS to ISO-2022-JP, ending in ASCII. Two-byte characters without a 7-bit form
// (among them Docomo's and Softbank's pictographs), lone and invalid bytes pass unchanged.
[[nodiscard]] std::string EncodeIso2022Jp(std::string_view sjis, std::string reuse = {});
