#include "mime/text_part.h"

#include <algorithm>

#include "mime/message_rewriter.h"
#include "render/text_to_html.h"
#include "shell/host_api.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// "<HTML>\r\n<BODY>\r\n<FONT  face=\"ＭＳ ゴシック\" size=\"2\">" in Shift-JIS.
constexpr char HTML_HEAD[] =
    "<HTML>\r\n<BODY>\r\n<FONT  face=\""
    "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E"
    "\" size=\"2\">";
constexpr char HTML_TAIL[] = "\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n";

// A fixed piece of the HTML part in ISO-2022-JP, as the host converts it.
std::string ToIso2022Jp(const char* sjis) {
    const char* jis = g_hostApi.BKA_ISO_2022_JP(sjis, SJIS_TO_ISO2022JP);
    return jis ? jis : "";
}

// The plain part keeps the entity's own charset, so that its text stays readable.
std::string_view PlainPartCharset(const EntityKind& kind) {
    if (kind.charset == TextCharset::Unstated || kind.charset == TextCharset::Iso2022Jp) return "ISO-2022-JP";
    return kind.charsetName;
}

// No multipart entity may declare base64 or quoted-printable: every such declaration goes,
// a second one too.
void RemoveEncodingDeclarations(HeaderLines& lines) {
    RemoveHeaderLines(lines, [](const HeaderLines& all, size_t i) {
        const std::optional<std::string> value = GetHeaderValueAt(all, i, "Content-Transfer-Encoding");
        return value && ClassifyTransferEncoding(*value) != TransferEncoding::Identity;
    });
}

// The two-part body appended to out, which may already hold the entity's header block.
void AppendAlternativeBody(std::string& out, std::string_view subject, std::string_view body, std::string_view boundary,
                           bool& found, CarrierCode carrier, std::string_view plainCharset) {
    bool subjectFound = false;
    const std::string subjectHtml = ConvertTextToHtml(subject, subjectFound, carrier);
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });

    const std::string head = ToIso2022Jp(HTML_HEAD);
    const std::string html = ConvertTextToHtml(body, found, carrier);
    const std::string tail = ToIso2022Jp(HTML_TAIL);
    out.reserve(out.size() + body.size() + head.size() + subjectHtml.size() + html.size() + tail.size() + 512);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/plain; charset=\"").append(plainCharset).append("\"").append(CRLF);
    out.append("Content-Transfer-Encoding: ").append(eightBit ? "8bit" : "7bit").append(CRLF);
    out.append(CRLF);
    out.append(body);
    out.append(CRLF).append(CRLF);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/html; charset=\"ISO-2022-JP\"").append(CRLF);
    out.append("Content-Transfer-Encoding: 7bit").append(CRLF);
    out.append(CRLF);
    out.append(head);
    if (subjectFound) {
        out.append(ToIso2022Jp("Subject:"));
        out.append(subjectHtml);
        out.append(ToIso2022Jp("<BR>"));
        out.append(ToIso2022Jp("----------------------------------------<BR>"));
    }
    out.append(html);
    out.append(tail);
    out.append("--").append(boundary).append("--").append(CRLF);
    if (subjectFound) found = true;
}

}  // namespace

std::optional<std::string> ConvertTextEntity(const EntityKind& kind, const HeaderLines& lines, std::string_view body,
                                             std::string_view subject, CarrierCode carrier) {
    const std::string boundary = MakeAlternativeBoundary();
    if (kind.charset == TextCharset::Unread) return std::nullopt;
    // A base64 or quoted-printable text is converted decoded; no multipart/alternative entity
    // may declare either encoding, so the entity's own declaration goes.
    std::string storage;
    const std::optional<std::string_view> text = DecodeText(kind.encoding, body, storage);
    if (!text) return std::nullopt;
    // The header the entity gets when converted, so that its body is written right after it.
    HeaderLines converted = lines;
    SetHeader(converted, "Content-Type", "multipart/alternative; boundary=\"" + boundary + "\"");
    RemoveEncodingDeclarations(converted);
    std::string out = JoinHeaderLines(converted);
    bool found = false;
    AppendAlternativeBody(out, subject, *text, boundary, found, carrier, PlainPartCharset(kind));
    if (!found) return std::nullopt;
    return out;
}

std::string BuildAlternativeBody(std::string_view subject, std::string_view body, std::string_view boundary,
                                 bool& found, CarrierCode carrier, std::string_view plainCharset) {
    std::string out;
    AppendAlternativeBody(out, subject, body, boundary, found, carrier, plainCharset);
    return out;
}
