// The carriers' pictographs in Unicode text: each carrier's own private-use code points,
// Google's (U+FE000-U+FEEA) and standard emoji, each mapped to the carrier's Shift-JIS codes,
// whose images the PictographMap of that carrier holds. The tables are generated at build time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "render/pictograph_map.h"
#include "base/carrier.h"

struct UnicodePictograph {
    char32_t sequence[4];  // code points, without U+FE0F
    uint8_t length;
    uint16_t sjis[3];  // the Shift-JIS codes shown for it, in order
    uint8_t count;
};

// Entries sorted by sequence.
struct UnicodePictographTable {
    const UnicodePictograph* entries;
    const char32_t* firsts;  // each entry's first code point
    size_t size;
    // Bit (b1 & 63) of word b0: some entry begins with the UTF-8 bytes b0 b1 (all bits, for
    // an entry that begins with an ASCII byte). Nearly every character of a text is ruled out
    // by one look.
    const uint64_t* prefixes;

    [[nodiscard]] bool MayStartAt(std::string_view utf8, size_t i) const {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) & 63 : 0;
        return prefixes[lead] >> next & 1;
    }
};

// By carrier code: AU, Docomo, Softbank.
extern const UnicodePictographTable UNICODE_PICTOGRAPHS[3];

// The table of a carrier: Docomo's for 1, Softbank's for 2, AU's for every other code.
[[nodiscard]] const UnicodePictographTable& SelectUnicodePictographs(CarrierCode carrier);

// The longest pictograph of the table that starts at byte i of the UTF-8 text and whose every
// code has an image in map: appends the images' tags to tags and returns the bytes it takes
// (U+FE0F selectors between and after its code points included), or 0.
[[nodiscard]] size_t MatchUnicodePictograph(std::string_view utf8, size_t i, const UnicodePictographTable& table,
                                            const PictographMap& map, std::string& tags);
