#include "render/utf8.h"

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
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
