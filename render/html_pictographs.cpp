#include "render/html_pictographs.h"

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
    // A run starts and ends at ASCII bytes, which no two-byte character holds: its characters
    // are read from its start.
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

// A tag as ISO-2022-JP text: a folder path in it may hold two-byte characters.
std::string_view TagInIso2022Jp(const std::string& tag, std::string& storage) {
    if (FindNonAscii(tag) == tag.size()) return tag;
    const char* jis = g_hostApi.BKA_ISO_2022_JP(tag.c_str(), SJIS_TO_ISO2022JP);
    storage = jis ? jis : "";
    return storage;
}

}  // namespace

std::string ReplaceIso2022JpHtmlPictographs(std::string_view jis, const PictographMap& map, bool& found) {
    constexpr std::string_view TO_ASCII = "\x1B(B";
    const auto* const s = reinterpret_cast<const unsigned char*>(jis.data());
    const size_t n = jis.size();
    std::string out, storage;
    size_t copied = 0;
    bool twoByte = false;
    std::string_view designation;  // the escape sequence of the current two-byte segment
    bool afterTag = false;         // out stands in ASCII after a tag, the text in the segment
    const auto copyTo = [&](size_t at) {
        if (copied == at) return;
        if (afterTag) out.append(designation);
        afterTag = false;
        out.append(jis.substr(copied, at - copied));
        copied = at;
    };
    HtmlTextRuns runs(jis, true);
    size_t begin = 0, end = 0;
    bool more = runs.Next(begin, end);
    for (size_t i = 0; i < n;) {
        if (s[i] == 0x1B) {
            // An escape right after a tag says the character set itself.
            if (copied == i) afterTag = false;
            const JisSet set = JisSetOfEscape(jis.substr(i));
            twoByte = set == JisSet::TwoByte;
            if (twoByte) designation = jis.substr(i, 3);
            i += set == JisSet::Unknown ? 1 : 3;
            continue;
        }
        if (!twoByte || i + 1 >= n) {
            ++i;
            continue;
        }
        while (more && end <= i) more = runs.Next(begin, end);
        const std::string* tag = more && i >= begin ? map.Find(SjisOfJis(s[i], s[i + 1])) : nullptr;
        if (tag) {
            copyTo(i);
            if (!afterTag) out.append(TO_ASCII);
            out.append(TagInIso2022Jp(*tag, storage));
            found = afterTag = true;
            copied = i + 2;
        }
        i += 2;
    }
    copyTo(n);
    return out;
}

std::string ReplaceUtf8HtmlPictographs(std::string_view utf8, CarrierCode carrier, bool& found) {
    const PictographMap& map = SelectPictographMap(carrier);
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
