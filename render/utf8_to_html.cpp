#include "render/utf8_to_html.h"

#include <array>
#include <cstdint>

#include "base/bytes.h"
#include "platform/buffer_growth.h"
#include "render/text_to_html.h"
#include "render/unicode_pictographs.h"
#include "render/utf8.h"
#include "platform/code_page.h"
#include "shell/host_api.h"

namespace {

// How often the output's room is checked against the rate it grows at.
constexpr size_t PIECE = 64 * 1024;

// Appends what stands between run and i unchanged, then with, and moves both past the width.
class Writer {
public:
    Writer(std::string_view text, std::string& out) : text(text), out(out), written(out.size()) {}
    std::string_view text;
    std::string& out;
    const size_t written;
    size_t run = 0;
    void Replace(size_t& i, size_t width, std::string_view with) {
        out.append(text.substr(run, i - run)).append(with);
        run = i += width;
    }
    // The pictograph at i, if one starts there, replaced by its images' tags, which the
    // match appends to out itself once the text before it is there.
    bool ReplacePictograph(size_t& i, const UnicodePictographTable& table, const PictographMap& map, bool& found) {
        if (!table.MayStartAt(text, i)) return false;
        out.append(text.substr(run, i - run));
        run = i;
        const size_t width = MatchUnicodePictograph(text, i, table, map, out);
        if (width == 0) return false;
        run = i += width;
        return found = true;
    }
    void Finish() { out.append(text.substr(run)); }
};

}  // namespace

void AppendUtf8AsHtml(std::string& out, std::string_view utf8, CarrierCode carrier, bool& found) {
    const PictographMap& map = SelectPictographMap(carrier).ForUtf8();
    const UnicodePictographTable& table = SelectUnicodePictographs(carrier);
    Writer w(utf8, out);
    ReserveMore(out, utf8.size() + utf8.size() / 8);
    const auto* const s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0, next = PIECE; i < n;) {
        // Valid characters that need no look are passed a byte and a table step at a time, as
        // the Shift-JIS walk passes its bytes; the code below takes the character where the
        // steps stop (a broken one, or one cut off by the end, from where it starts).
        uint8_t state = 0;
        while (i < n && (state = table.steps[state][s[i]]) < UTF8_LOOK_HERE) ++i;
        if (state == UTF8_LOOK_BEFORE) {
            --i;
        } else if (state == UTF8_BROKEN_INSIDE || (i == n && state >= table.accepting && state < UTF8_LOOK_HERE)) {
            do --i;
            while ((s[i] & 0xC0) == 0x80);
        }
        if (i >= n) break;
        if (i >= next) {
            ReserveForRest(out, w.written, i, utf8.size());
            next = i + PIECE;
        }
        const char ch = utf8[i];
        const bool ascii = static_cast<unsigned char>(ch) < 0x80;
        Utf8Char c{static_cast<unsigned char>(ch), 1, true};
        if (!ascii) c = DecodeUtf8(utf8, i);
        if (ch == '\r' && i + 1 < n && utf8[i + 1] == '\n') {
            w.Replace(i, 2, "<BR>");
        } else if (const char* escape = HtmlEscapeOf(ch)) {
            w.Replace(i, 1, escape);
        } else if (!c.valid) {
            w.Replace(i, c.length, REPLACEMENT_CHARACTER);
        } else if (!w.ReplacePictograph(i, table, map, found)) {
            i += c.length;
        }
    }
    w.Finish();
}

std::string RenderUtf8AsHtml(std::string_view utf8, CarrierCode carrier, bool& found) {
    std::string out;
    AppendUtf8AsHtml(out, utf8, carrier, found);
    return out;
}

namespace {

// The client's ISO-2022-JP (or Shift-JIS, which the host's converter leaves as it is) as Shift-JIS.
std::string ClientSjisOf(std::string_view text) {
    const char* sjis = g_hostApi.BKA_ISO_2022_JP(std::string(text).c_str(), ISO2022JP_TO_SJIS);
    return sjis ? sjis : "";
}

}  // namespace

std::string ConvertSubjectToUtf8Html(std::string_view subject, bool& found, CarrierCode carrier) {
    if (subject.find('\x1B') == std::string_view::npos && IsValidUtf8(subject))
        return RenderUtf8AsHtml(subject, carrier, found);
    // The tags a UTF-8 part takes are ASCII, which the conversion leaves as they are.
    return ConvertCp932ToUtf8(RenderSjisAsHtml(ClientSjisOf(subject), SelectPictographMap(carrier).ForUtf8(), found));
}

std::string ConvertClientTextToUtf8(std::string_view text, bool iso2022jp) {
    return ConvertCp932ToUtf8(iso2022jp ? ClientSjisOf(text) : std::string(text));
}

bool HoldsUtf8Pictograph(std::string_view utf8, CarrierCode carrier) {
    const PictographMap& map = SelectPictographMap(carrier);
    const UnicodePictographTable& table = SelectUnicodePictographs(carrier);
    std::string tags;
    for (size_t i = 0; i < utf8.size();) {
        if (table.MayStartAt(utf8, i) && MatchUnicodePictograph(utf8, i, table, map, tags) > 0) return true;
        i += static_cast<unsigned char>(utf8[i]) < 0x80 ? 1 : DecodeUtf8(utf8, i).length;
    }
    return false;
}
