#include "render/text_to_html.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/bytes.h"
#include "platform/buffer_growth.h"
#include "base/sjis.h"
#include "shell/host_api.h"

const PictographMap& SelectPictographMap(CarrierCode carrier) {
    switch (carrier) {
        case CARRIER_DOCOMO: return g_mapDocomo;
        case CARRIER_SOFTBANK: return g_mapSoftbank;
        default: return g_mapAU;
    }
}

namespace {

// Texts are converted a piece at a time, so that the host's buffers and the walk's stay
// small whatever the size of the message.
constexpr size_t PIECE = 64 * 1024;
// The HTML goes back through the host in pieces of about a quarter of the text, within these
// bounds: the buffers it needs stay small beside the text, and few calls are made.
constexpr size_t FLUSH_MIN = 1024;
constexpr size_t FLUSH_MAX = 8 * 1024;

// The walk reads the text a character at a time: a lead byte and a valid second byte, or one
// byte. At the start of each character it first looks the two bytes there up in the map,
// then turns CR LF into <BR> and escapes a markup byte. Only the bytes where one of these may
// happen need a look: the walk skips to the next such byte and settles whether it starts a
// character by the run of lead bytes before it (they pair up from the last known start).
// Whenever out holds flushAt bytes or more right after a replacement (out then ends in an
// ASCII byte, and the walk stands at the start of a character), flush(out) takes them.
template <typename Output, typename Flush>
void WalkSjis(std::string_view sjis, const PictographMap& map, bool& found, Output& out, size_t flushAt, Flush flush) {
    static constexpr std::array<bool, 256> special = [] {
        std::array<bool, 256> bytes{};
        for (int ch = 0; ch < 256; ++ch) bytes[ch] = ch == '\r' || HtmlEscapeOf(static_cast<char>(ch)) != nullptr;
        return bytes;
    }();
    const bool* const startsCode = map.FirstBytes();
    bool marked[256];
    for (int ch = 0; ch < 256; ++ch) marked[ch] = special[ch] | startsCode[ch];
    const auto* const s = reinterpret_cast<const unsigned char*>(sjis.data());
    const size_t n = sjis.size();
    // A bounded guess: room for every byte that may start a code to become a tag would be
    // hundreds of megabytes for a text of such bytes. The HTML of a text with a pictograph
    // every few words is several times its size, up to what is flushed at once; denser text
    // grows the string instead.
    const size_t expected = std::min({n * 8, flushAt, n + PIECE});
    out.reserve(out.size() + expected + expected / 8);
    size_t run = 0;    // the bytes from here on are still to be copied unchanged
    size_t start = 0;  // a position known to start a character; all before it is settled
    size_t i = 0;
    const auto replace = [&](size_t width, std::string_view with) {
        out.append(sjis.substr(run, i - run));
        out.append(with);
        i += width;
        run = start = i;
        if (out.size() >= flushAt) flush(out);
    };
    for (;;) {
        while (i < n && !marked[s[i]]) ++i;
        if (i >= n) break;
        if (IsSjisTrailByte(s[i])) {
            size_t leads = 0;
            while (i - leads > start && IsSjisLeadByte(s[i - leads - 1])) ++leads;
            if (leads % 2 == 1) {  // the second byte of a two-byte character
                start = ++i;
                continue;
            }
        }
        const bool hasNext = i + 1 < n;
        if (const std::string* tag = hasNext ? map.Find(static_cast<uint16_t>(s[i] << 8 | s[i + 1])) : nullptr) {
            found = true;
            replace(2, *tag);
        } else if (s[i] == '\r' && hasNext && s[i + 1] == '\n') {
            replace(2, "<BR>");
        } else if (const char* escape = HtmlEscapeOf(static_cast<char>(s[i]))) {
            replace(1, escape);
        } else {
            i += IsSjisLeadByte(s[i]) && hasNext && IsSjisTrailByte(s[i + 1]) ? 2 : 1;
            start = i;
        }
    }
    out.append(sjis.substr(run));
}

// An output of the walk that only counts what it is given: the look for a first pictograph
// needs the HTML's size, not its bytes.
class ByteCount {
public:
    void reserve(size_t) {}
    void append(std::string_view bytes) { m_size += bytes.size(); }
    [[nodiscard]] size_t size() const { return m_size; }

private:
    size_t m_size = 0;
};

}  // namespace

std::string RenderSjisAsHtml(std::string_view sjis, const PictographMap& map, bool& found) {
    std::string out;
    WalkSjis(sjis, map, found, out, std::string::npos, [](std::string&) {});
    return out;
}

namespace {

// Where the piece from pos ends: after the first CR LF at least PIECE bytes on at which the
// ISO-2022-JP text stands in ASCII (its last escape sequence, if any, is ESC ( B). Both of
// the host's conversions start and end a text in ASCII, so converting the pieces one by one
// gives the bytes that converting the whole text gives. ascii carries the state on.
size_t EndOfPiece(std::string_view text, size_t pos, bool& ascii) {
    size_t scanned = pos;
    for (size_t crlf = text.find("\r\n", std::min(text.size(), pos + PIECE)); crlf != std::string_view::npos;
         crlf = text.find("\r\n", crlf + 2)) {
        for (size_t esc = text.find('\x1B', scanned); esc < crlf; esc = text.find('\x1B', esc + 1))
            ascii = text.substr(esc, 3) == "\x1B(B";
        scanned = crlf;
        if (ascii) return crlf + 2;
    }
    return text.size();
}

}  // namespace

namespace {

// Hands each piece of the text to each(sjis, end), in Shift-JIS as the host converts it; stops
// when each returns false. With copyPieces, the piece is copied at once (the host's next conversion
// may reuse its buffer) into a string of its own, which is long enough (no Shift-JIS text is
// longer than its ISO-2022-JP). A code that begins with LF could join the last byte of one
// piece to the next: with such a map the text is one piece.
template <typename Each>
void ForEachPiece(std::string_view text, const PictographMap& map, bool copyPieces, Each each) {
    const bool cut = !map.FirstBytes()[static_cast<unsigned char>('\n')];
    bool ascii = true;
    std::string piece;
    size_t pos = 0;
    do {
        const size_t end = cut ? EndOfPiece(text, pos, ascii) : text.size();
        piece.assign(text.substr(pos, end - pos));
        const char* converted = g_hostApi.BKA_ISO_2022_JP(piece.c_str(), ISO2022JP_TO_SJIS);
        // What makes no other call to the host may read the host's own buffer.
        if (copyPieces) piece.assign(converted ? converted : "");
        if (!each(copyPieces ? std::string_view(piece) : std::string_view(converted ? converted : ""), end)) return;
        pos = end;
    } while (pos < text.size());
}

}  // namespace

void AppendTextAsHtml(std::string& out, std::string_view text, bool& found, CarrierCode carrier) {
    const PictographMap& map = SelectPictographMap(carrier);
    const size_t written = out.size();
    // A line may be long: its HTML goes back through the host in pieces too, cut after a
    // replacement, where the HTML stands in ASCII.
    const auto flush = [&out](std::string& html) {
        if (const char* jis = g_hostApi.BKA_ISO_2022_JP(html.c_str(), SJIS_TO_ISO2022JP)) {
            // Room for what usually follows the text too (the HTML's tail, a delimiter), so
            // that a full out is not grown again for those few bytes.
            const size_t length = std::strlen(jis);
            ReserveMore(out, length + 256);
            out.append(jis, length);
        }
        html.clear();
    };
    std::string html;
    ForEachPiece(text, map, true, [&](std::string_view sjis, size_t end) {
        WalkSjis(sjis, map, found, html, std::clamp(text.size() / 4, FLUSH_MIN, FLUSH_MAX), flush);
        flush(html);
        ReserveForRest(out, written, end, text.size());
        return true;
    });
}

bool HoldsPictograph(std::string_view text, CarrierCode carrier, size_t& expectedHtml) {
    const PictographMap& map = SelectPictographMap(carrier);
    bool found = false;
    size_t read = 0;
    // The HTML of what was read, in Shift-JIS, and the escape sequences its ISO-2022-JP took:
    // the HTML switches character sets where the text does.
    size_t html = 0;
    ForEachPiece(text, map, false, [&](std::string_view sjis, size_t end) {
        ByteCount written;
        WalkSjis(sjis, map, found, written, std::string::npos, [](ByteCount&) {});
        html += written.size() + (end - read) - std::min(end - read, sjis.size());
        read = end;
        return !found;
    });
    expectedHtml = read == 0 ? 0 : static_cast<size_t>(static_cast<double>(html) / static_cast<double>(read) * static_cast<double>(text.size()));
    return found;
}

std::string ConvertTextToHtml(std::string_view text, bool& found, CarrierCode carrier) {
    std::string out;
    AppendTextAsHtml(out, text, found, carrier);
    return out;
}
