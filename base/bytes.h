// Byte-string helpers shared by every part of the program: ASCII case, blanks, hexadecimal
// digits, searching. Bytes above 0x7F are compared as they are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Where pattern first stands in text at or after from, or npos. The delimiters of nested
// multipart bodies share long prefixes, on which a search that compares at every match of the
// first byte spends most of a conversion: glibc's memmem does not.
[[nodiscard]] inline size_t FindBytes(std::string_view text, std::string_view pattern, size_t from = 0) {
    if (from > text.size() || text.size() - from < pattern.size()) return std::string_view::npos;
    if (pattern.empty()) return from;
#if defined(__GLIBC__)
    const void* found = memmem(text.data() + from, text.size() - from, pattern.data(), pattern.size());
    return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : std::string_view::npos;
#else
    return text.find(pattern, from);
#endif
}

// Where the first line that begins with prefix starts, at or after from (from itself when a
// line begins there), or npos. A line at a time: memchr passes over a line faster than memmem
// finds "\n" and a short prefix.
[[nodiscard]] inline size_t FindLineBeginning(std::string_view text, std::string_view prefix, size_t from = 0) {
    size_t line = from;
    if (line > text.size()) return std::string_view::npos;
    if (line > 0 && text[line - 1] != '\n') {
        const void* lf = std::memchr(text.data() + line, '\n', text.size() - line);
        if (!lf) return std::string_view::npos;
        line = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    while (line < text.size()) {
        if (text.compare(line, prefix.size(), prefix) == 0) return line;
        const void* lf = std::memchr(text.data() + line, '\n', text.size() - line);
        if (!lf) break;
        line = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    return std::string_view::npos;
}

// Where the first byte of 0x80 or above stands in text at or after from, or the size: text
// that is mostly ASCII is passed eight bytes at a time.
[[nodiscard]] inline size_t FindNonAscii(std::string_view text, size_t from = 0) {
    const size_t n = text.size();
    size_t i = from;
    for (; i + 8 <= n; i += 8) {
        uint64_t bytes;
        std::memcpy(&bytes, text.data() + i, sizeof bytes);
        if (const uint64_t high = bytes & 0x8080808080808080ull) {
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return i + static_cast<size_t>(__builtin_ctzll(high)) / 8;
#else
            break;
#endif
        }
    }
    while (i < n && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}
