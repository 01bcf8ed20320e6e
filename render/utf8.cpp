#include "render/utf8.h"

#include "base/bytes.h"

bool IsValidUtf8(std::string_view text) {
    const size_t n = text.size();
    for (size_t i = 0; (i = FindNonAscii(text, i)) < n;) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (!c.valid) return false;
        i += c.length;
    }
    return true;
}
