// The system's ANSI text (code page 932, Shift-JIS) as UTF-8.
#pragma once

#include <string>
#include <string_view>

// A byte sequence that code page 932 does not know becomes U+FFFD.
[[nodiscard]] std::string ConvertCp932ToUtf8(std::string_view cp932);
