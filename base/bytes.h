// Byte-string helpers shared by every part of the program: ASCII case, blanks, hexadecimal
// digits and the growth of an output string. Bytes above 0x7F are compared as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

[[nodiscard]] constexpr unsigned char ToAsciiLower(unsigned char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<unsigned char>(ch + 32) : ch;
}

[[nodiscard]] constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (ToAsciiLower(static_cast<unsigned char>(text[i])) != ToAsciiLower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

[[nodiscard]] constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

// A space or a tab.
[[nodiscard]] constexpr bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

[[nodiscard]] constexpr std::string_view SkipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return text.substr(i);
}

// The text without the given bytes at either end (by default spaces and tabs).
[[nodiscard]] constexpr std::string_view Trim(std::string_view text, std::string_view bytes = " \t") {
    const size_t first = text.find_first_not_of(bytes);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(bytes) - first + 1);
}

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other byte.
[[nodiscard]] constexpr int HexDigitValue(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// Before more is appended to out: when consumed of total input bytes have given out its
// size since written, room for the rest at that rate and an eighth more. Growing once to
// about the final size keeps the peak near the output itself, where doubling would keep up
// to three times as much.
inline void ReserveForRest(std::string& out, size_t written, size_t consumed, size_t total) {
    if (consumed == 0 || consumed >= total) return;
    const size_t produced = out.size() - written;
    const size_t rest = static_cast<size_t>(static_cast<double>(produced) / static_cast<double>(consumed) *
                                            static_cast<double>(total - consumed) * 1.125);
    if (out.size() + rest > out.capacity()) out.reserve(out.size() + rest);
}
