// Deterministic Shift-JIS text of the kind phones send: ASCII words, kanji and kana, CR LF
// lines of about 70 bytes and, if asked, Docomo pictographs at about one per 20 bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "render/pictograph_map.h"

inline bool IsDocomoCode(int code) {
    const int trail = code & 0xFF;
    return code >= 0xF89F && code <= 0xF9FC && trail >= 0x40 && trail != 0x7F && trail <= 0xFC;
}

inline std::string SampleSjisText(size_t size, bool pictographs) {
    std::mt19937 random(20240304);
    std::uniform_int_distribution<int> kind(0, 9), kanji(0x40, 0xFC), docomo(0xF89F, 0xF9FC);
    const char* words[] = {"the ", "message ", "from ", "phone ", "see you ", "10:30 ", "ok! "};
    std::string text;
    text.reserve(size + 16);
    size_t line = 0;
    while (text.size() < size) {
        const int k = kind(random);
        if (pictographs && k < 2) {
            int code;
            do code = docomo(random); while (!IsDocomoCode(code));
            text += static_cast<char>(code >> 8);
            text += static_cast<char>(code & 0xFF);
        } else if (k < 5) {
            int trail;
            do trail = kanji(random); while (trail == 0x7F);
            text += static_cast<char>(0x88 + k);
            text += static_cast<char>(trail);
        } else {
            text += words[k % 7];
        }
        if (text.size() - line > 70) {
            text += "\r\n";
            line = text.size();
        }
    }
    return text;
}

// Docomo's codes as the generated image folder holds them.
inline void FillDocomoMap(PictographMap& map) {
    for (int code = 0xF89F; code <= 0xF9FC; ++code) {
        if (!IsDocomoCode(code)) continue;
        char name[16];
        std::snprintf(name, sizeof name, "%04X.gif", code);
        map.Store(static_cast<uint16_t>(code), std::string("<img src=\"file://localhost/C:/Becky!/PlugIns/Glyphory/docomo/") + name + "\">");
    }
}
