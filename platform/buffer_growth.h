// The growth of a large output string: made once to about its final size, with the system's
// large pages where it has them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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
