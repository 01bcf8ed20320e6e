// Deterministic Shift-JIS text of the kind phones send: ASCII words, kanji and kana, CR LF
// lines of about 70 bytes and, if asked, Docomo pictographs at about one per 20 bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "platform/code_page.h"
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

// The same text in UTF-8: each Docomo code as Docomo's private-use code point (U+E63E on,
// counting valid codes from F89F), every other character as code page 932 reads it.
inline std::string SampleUtf8Text(const std::string& sjis) {
    std::string utf8;
    utf8.reserve(sjis.size() * 3 / 2);
    for (size_t i = 0; i < sjis.size();) {
        const auto lead = static_cast<unsigned char>(sjis[i]);
        if (lead < 0x80) {
            utf8 += sjis[i++];
            continue;
        }
        const int code = lead << 8 | static_cast<unsigned char>(sjis[i + 1]);
        if (IsDocomoCode(code)) {
            char32_t cp = 0xE63E;
            for (int c = 0xF89F; c < code; ++c) cp += IsDocomoCode(c);
            utf8 += static_cast<char>(0xE0 | cp >> 12);
            utf8 += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            utf8 += ConvertCp932ToUtf8(sjis.substr(i, 2));
        }
        i += 2;
    }
    return utf8;
}
