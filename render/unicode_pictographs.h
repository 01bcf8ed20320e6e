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
    // A lone character whose default presentation is text (©, ™, ☎): a pictograph only
    // when U+FE0F (or a skin tone, for one that takes it) follows it.
    bool textStyle;
    // A lone character that takes a skin tone (👍, ✌): the modifier after it is part of it.
    bool modifierBase;
};

// Unicode's Extended_Pictographic: the characters an emoji ZWJ sequence is made of.
[[nodiscard]] bool IsExtendedPictographic(char32_t cp);

// Entries sorted by sequence.
struct UnicodePictographTable {
    const UnicodePictograph* entries;
    size_t size;
    // Where the block of entries that begin with a code point starts: an open hash table of
    // 2^bits slots (0xFFFF empty), the code point's first slot by Fibonacci hashing.
    const uint16_t* blocks;
    unsigned bits;
    // Bit (b1 & 63) of word b0: some entry may begin with the UTF-8 bytes b0 b1; after an
    // ASCII byte, b1 is the first byte of what follows it in the entry (or of U+FE0F). Nearly
    // every character of a text is ruled out by one look.
    const uint64_t* prefixes;
    // The walk's steps over UTF-8, a byte at a time from row 0 (the start of a character),
    // stopping where a pictograph may begin, at CR and markup, and at broken UTF-8; rows below
    // accepting accept the end of the text. Generated from prefixes.
    const uint8_t (*steps)[256];
    uint8_t accepting;

    // The first entry that begins with cp, or size when none does.
    [[nodiscard]] size_t FindBlock(char32_t cp) const {
        const size_t mask = (size_t{1} << bits) - 1;
        for (size_t slot = static_cast<uint32_t>(cp * 0x9E3779B1u) >> (32 - bits);; slot = (slot + 1) & mask) {
            const uint16_t index = blocks[slot];
            if (index == 0xFFFF) return size;
            if (entries[index].sequence[0] == cp) return index;
        }
    }

    [[nodiscard]] bool MayStartAt(std::string_view utf8, size_t i) const {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) & 63 : 0;
        return prefixes[lead] >> next & 1;
    }
};

// The stops of UnicodePictographTable::steps: a look at this byte, at the byte before, a
// broken character that starts at this byte, or one that started before it.
enum : uint8_t { UTF8_LOOK_HERE = 252, UTF8_LOOK_BEFORE = 253, UTF8_BROKEN_HERE = 254, UTF8_BROKEN_INSIDE = 255 };

// By carrier code: AU, Docomo, Softbank.
extern const UnicodePictographTable UNICODE_PICTOGRAPHS[3];

// The table of a carrier: Docomo's for 1, Softbank's for 2, AU's for every other code.
[[nodiscard]] const UnicodePictographTable& SelectUnicodePictographs(CarrierCode carrier);

// The longest pictograph of the table that starts at byte i of the UTF-8 text and whose every
// code has an image in map: appends the images' tags to tags and returns the bytes it takes
// (U+FE0F selectors between and after its code points included, and the skin tone of a
// character that takes one, which the image cannot show), or 0. A lone character followed by
// U+FE0E, or by nothing for one shown as text by default, is text; so is every emoji of a ZWJ
// or tag sequence (a family, a flag of a region), of which no carrier has an image: all of it
// stays text.
[[nodiscard]] size_t MatchUnicodePictograph(std::string_view utf8, size_t i, const UnicodePictographTable& table,
                                            const PictographMap& map, std::string& tags);
