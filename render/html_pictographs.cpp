#include "render/html_pictographs.h"

#include <optional>

#include "base/bytes.h"
#include "base/sjis.h"
#include "render/html_text.h"
#include "render/text_to_html.h"
#include "render/unicode_pictographs.h"
#include "render/utf8.h"
#include "shell/host_api.h"

std::string ReplaceSjisHtmlPictographs(std::string_view sjis, const PictographMap& map, bool& found) {
    const auto* const s = reinterpret_cast<const unsigned char*>(sjis.data());
    std::string out;
    size_t copied = 0;
    HtmlTextRuns runs(sjis, false);
    // A run starts and ends next to a '<' or '>', which are no bytes of two-byte characters
    // (second bytes start at 0x40): its characters are read from its start.
    for (size_t begin = 0, end = 0; runs.Next(begin, end);) {
        for (size_t i = begin; i < end;) {
            if (const std::string* tag = i + 1 < end ? map.Find(static_cast<uint16_t>(s[i] << 8 | s[i + 1])) : nullptr) {
                out.append(sjis.substr(copied, i - copied)).append(*tag);
                found = true;
                copied = i += 2;
            } else {
                i += IsSjisLeadByte(s[i]) && i + 1 < end ? 2 : 1;
            }
        }
    }
    return out.append(sjis.substr(copied));
}

namespace {

constexpr std::string_view TO_ASCII = "\x1B(B";

// A tag as ISO-2022-JP text: a folder path in it may hold two-byte characters. Nothing when
// the host gives no 7-bit form of it (a character without a JIS code).
std::optional<std::string> TagInIso2022Jp(const std::string& tag) {
    if (FindNonAscii(tag) == tag.size()) return tag;
    const char* jis = g_hostApi.BKA_ISO_2022_JP(tag.c_str(), SJIS_TO_ISO2022JP);
    if (!jis || !IsValidIso2022Jp(jis)) return std::nullopt;
    return std::string(jis);
}

}  // namespace

// A tag stands in ASCII. Two escape sequences in a row are read as a broken character, so the
// escape sequence that opened the segment of a code right before it goes with the code, and
// the segment's escape is written again after the tag only before characters of the segment.
std::string ReplaceIso2022JpHtmlPictographs(std::string_view jis, const PictographMap& map, bool& found) {
    const auto* const s = reinterpret_cast<const unsigned char*>(jis.data());
    const size_t n = jis.size();
    std::string out;
    size_t copied = 0;
    std::string_view set;  // the escape sequence of the text's character set here; none: ASCII
    bool twoByte = false;
    // The two-byte segment the walk is in: where its escape sequence stands, and the set before it.
    size_t segment = std::string_view::npos;
    std::string_view setBefore;
    // out stands in ASCII after a tag; text of the tag's segment that follows needs reenter.
    bool afterTag = false;
    std::string_view reenter;
    const auto copyTo = [&](size_t at) {
        if (copied >= at) return;
        if (afterTag && s[copied] != 0x1B) out.append(reenter);
        afterTag = false;
        out.append(jis.substr(copied, at - copied));
        copied = at;
    };
    HtmlTextRuns runs(jis, true);
    size_t begin = 0, end = 0;
    bool more = runs.Next(begin, end);
    for (size_t i = 0; i < n;) {
        if (s[i] == 0x1B) {
            const JisSet next = JisSetOfEscape(jis.substr(i));
            if (next == JisSet::Unknown) {
                ++i;
                continue;
            }
            if (next == JisSet::TwoByte) segment = i, setBefore = set;
            twoByte = next == JisSet::TwoByte;
            set = jis.substr(i, 3);
            i += 3;
            continue;
        }
        if (!twoByte || i + 1 >= n) {
            ++i;
            continue;
        }
        while (more && end <= i) more = runs.Next(begin, end);
        const std::string* tag = more && i >= begin ? map.Find(SjisOfJis(s[i], s[i + 1])) : nullptr;
        const std::optional<std::string> tagText = tag ? TagInIso2022Jp(*tag) : std::nullopt;
        if (tagText) {
            bool ascii = afterTag;
            if (i == segment + 3 && copied <= segment) {
                copyTo(segment);
                ascii = afterTag || setBefore.empty() || setBefore == TO_ASCII;
                copied = i;
            } else {
                copyTo(i);
                ascii = afterTag;
            }
            if (!ascii) out.append(TO_ASCII);
            out.append(*tagText);
            found = afterTag = true;
            reenter = jis.substr(segment, 3);
            copied = i + 2;
        }
        i += 2;
    }
    copyTo(n);
    return out;
}

std::string ReplaceUtf8HtmlPictographs(std::string_view utf8, CarrierCode carrier, bool& found) {
    const PictographMap& map = SelectPictographMap(carrier).ForUtf8();
    const UnicodePictographTable& table = SelectUnicodePictographs(carrier);
    std::string out;
    size_t copied = 0;
    HtmlTextRuns runs(utf8, false);
    for (size_t begin = 0, end = 0; runs.Next(begin, end);) {
        const std::string_view text = utf8.substr(0, end);
        for (size_t i = begin; i < end;) {
            if (table.MayStartAt(text, i)) {
                out.append(utf8.substr(copied, i - copied));
                copied = i;
                if (const size_t width = MatchUnicodePictograph(text, i, table, map, out)) {
                    found = true;
                    copied = i += width;
                    continue;
                }
            }
            i += static_cast<unsigned char>(utf8[i]) < 0x80 ? 1 : DecodeUtf8(text, i).length;
        }
    }
    return out.append(utf8.substr(copied));
}
