// Byte-string helpers shared by every part of the program: ASCII case, blanks, hexadecimal
// digits and the growth of an output string. Bytes above 0x7F are compared as they are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

// Room in out for capacity bytes, exactly: std::string's reserve and append may double a
// large buffer that only needs a little more.
inline void ReserveExactly(std::string& out, size_t capacity) {
    if (capacity <= out.capacity()) return;
    std::string bigger;
    bigger.reserve(capacity);
#if defined(__linux__)
    // A buffer of megabytes is fresh memory that faults in a page at a time, which on a virtual
    // machine costs more than writing the page; the kernel backs it in 2 MiB pages when asked.
    constexpr size_t HUGE_PAGE = size_t{2} << 20;
    const auto first = (reinterpret_cast<uintptr_t>(bigger.data()) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const auto end = (reinterpret_cast<uintptr_t>(bigger.data()) + capacity) & ~(HUGE_PAGE - 1);
    if (capacity >= 2 * HUGE_PAGE && first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    bigger.append(out);
    out.swap(bigger);
}

// Room in out for more bytes: when they do not fit, out grows to fit them, and by a quarter
// at least, so that growing in small steps cannot copy out again and again.
inline void ReserveMore(std::string& out, size_t more) {
    if (out.capacity() - out.size() < more) ReserveExactly(out, std::max(out.size() + more, out.capacity() + out.capacity() / 4));
}

// Appended with the growth of ReserveMore.
inline void AppendGrowing(std::string& out, std::string_view text) {
    ReserveMore(out, text.size());
    out.append(text);
}

// Before more is appended to out: when consumed of total input bytes have given out its
// size since written and the rest at that rate no longer fits, room for it and an eighth
// more. Growing once to about the final size keeps the peak near the output itself, where
// doubling would keep up to three times as much; it grows again only when the rate has
// risen by an eighth.
inline void ReserveForRest(std::string& out, size_t written, size_t consumed, size_t total) {
    if (consumed == 0 || consumed >= total) return;
    const size_t produced = out.size() - written;
    const auto rest = static_cast<size_t>(static_cast<double>(produced) / static_cast<double>(consumed) *
                                          static_cast<double>(total - consumed));
    if (out.size() + rest > out.capacity()) ReserveExactly(out, out.size() + rest + rest / 8);
}
