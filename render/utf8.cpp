#include "render/utf8.h"

#include <cstdint>
#include <cstring>

bool IsValidUtf8(std::string_view text) {
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint64_t bytes;
        if (i + 8 <= n && (std::memcpy(&bytes, text.data() + i, 8), (bytes & 0x8080808080808080ull) == 0)) {
            i += 8;  // eight ASCII bytes at once
            continue;
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Char c = DecodeUtf8(text, i);
        if (!c.valid) return false;
        i += c.length;
    }
    return true;
}
