#include "render/unicode_pictographs.h"

#include <algorithm>

#include "render/utf8.h"

namespace {

constexpr std::string_view VARIATION_SELECTOR_16 = "\xEF\xB8\x8F";  // U+FE0F, emoji presentation
constexpr std::string_view VARIATION_SELECTOR_15 = "\xEF\xB8\x8E";  // U+FE0E, text presentation
constexpr std::string_view ZERO_WIDTH_JOINER = "\xE2\x80\x8D";      // U+200D
constexpr char32_t ZWJ = 0x200D;
constexpr size_t MAX_SEQUENCE = 4;

// U+1F3FB-1F3FF, which give the emoji before them a skin tone.
bool IsSkinToneModifier(char32_t cp) { return cp >= 0x1F3FB && cp <= 0x1F3FF; }

// U+E0020-E007F, which follow a flag to name a region.
bool IsTagCharacter(char32_t cp) { return cp >= 0xE0020 && cp <= 0xE007F; }

// Whether the character at i follows a ZWJ that joins it to an emoji before: the joiner after
// an Extended_Pictographic character, its U+FE0F or its skin tone.
bool FollowsJoinedEmoji(std::string_view utf8, size_t i) {
    if (i < ZERO_WIDTH_JOINER.size() || utf8.substr(i - ZERO_WIDTH_JOINER.size(), ZERO_WIDTH_JOINER.size()) != ZERO_WIDTH_JOINER)
        return false;
    const size_t joiner = i - ZERO_WIDTH_JOINER.size();
    // The character before it starts at most four bytes back.
    for (size_t start = joiner; start > 0 && joiner - start < 4;) {
        if ((static_cast<unsigned char>(utf8[--start]) & 0xC0) == 0x80) continue;
        const Utf8Char before = DecodeUtf8(utf8, start);
        return before.valid && start + before.length == joiner &&
               (before.cp == 0xFE0F || IsSkinToneModifier(before.cp) || IsExtendedPictographic(before.cp));
    }
    return false;
}

// The bytes from at on that are U+FE0F, taken with the code point before them.
size_t SkipSelectors(std::string_view utf8, size_t at) {
    while (utf8.substr(at, VARIATION_SELECTOR_16.size()) == VARIATION_SELECTOR_16) at += VARIATION_SELECTOR_16.size();
    return at;
}

bool HasImages(const UnicodePictograph& entry, const PictographMap& map) {
    for (size_t k = 0; k < entry.count; ++k)
        if (!map.Find(entry.sjis[k])) return false;
    return true;
}

}  // namespace

const UnicodePictographTable& SelectUnicodePictographs(CarrierCode carrier) {
    switch (carrier) {
        case CARRIER_DOCOMO: return UNICODE_PICTOGRAPHS[CARRIER_DOCOMO];
        case CARRIER_SOFTBANK: return UNICODE_PICTOGRAPHS[CARRIER_SOFTBANK];
        default: return UNICODE_PICTOGRAPHS[CARRIER_AU];
    }
}

// The entries that begin with the first code point form one block of the sorted table, found
// by hashing; most blocks hold a single entry of one code point.
size_t MatchUnicodePictograph(std::string_view utf8, size_t i, const UnicodePictographTable& table,
                              const PictographMap& map, std::string& tags) {
    if (!table.MayStartAt(utf8, i) || FollowsJoinedEmoji(utf8, i)) return 0;
    const Utf8Char first = DecodeUtf8(utf8, i);
    if (!first.valid) return 0;
    const UnicodePictograph* const end = table.entries + table.size;
    const UnicodePictograph* const block = table.entries + table.FindBlock(first.cp);
    const UnicodePictograph* blockEnd = block;
    size_t longest = 0;
    for (; blockEnd != end && blockEnd->sequence[0] == first.cp; ++blockEnd) longest = std::max<size_t>(longest, blockEnd->length);
    if (block == blockEnd) return 0;

    // The code points of the text from i on, as many as the longest entry needs, and where
    // each ends with the selectors after it.
    char32_t sequence[MAX_SEQUENCE] = {first.cp};
    size_t ends[MAX_SEQUENCE] = {SkipSelectors(utf8, i + first.length)};
    size_t length = 1;
    while (length < longest && ends[length - 1] < utf8.size()) {
        const Utf8Char c = DecodeUtf8(utf8, ends[length - 1]);
        if (!c.valid) break;
        sequence[length] = c.cp;
        ends[length] = SkipSelectors(utf8, ends[length - 1] + c.length);
        ++length;
    }
    // The longest entry of the block that the text holds and that has its images; a lone
    // character only when it is to be shown as emoji.
    const std::string_view selector = utf8.substr(i + first.length, VARIATION_SELECTOR_16.size());
    const bool asText = selector == VARIATION_SELECTOR_15;
    const bool toned = ends[0] < utf8.size() && IsSkinToneModifier(DecodeUtf8(utf8, ends[0]).cp);
    const UnicodePictograph* best = nullptr;
    for (const UnicodePictograph* e = block; e != blockEnd; ++e) {
        const bool asEmoji = selector == VARIATION_SELECTOR_16 || (toned && e->modifierBase);
        if (e->length == 1 && (asText || (e->textStyle && !asEmoji))) continue;
        if (e->length <= length && (!best || e->length > best->length) &&
            std::equal(e->sequence, e->sequence + e->length, sequence) && HasImages(*e, map))
            best = e;
    }
    if (!best) return 0;
    size_t stop = ends[best->length - 1];
    const auto next = [&utf8](size_t at) { return at < utf8.size() ? DecodeUtf8(utf8, at) : Utf8Char{0, 0, false}; };
    Utf8Char after = next(stop);
    if (after.valid && IsSkinToneModifier(after.cp) && best->modifierBase) {
        stop += after.length;
        after = next(stop);
    }
    if (after.valid && (after.cp == ZWJ || IsTagCharacter(after.cp))) return 0;
    for (size_t k = 0; k < best->count; ++k) tags.append(*map.Find(best->sjis[k]));
    return stop - i;
}
