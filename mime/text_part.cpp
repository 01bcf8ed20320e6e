#include "mime/text_part.h"

#include <algorithm>

#include "mime/message_rewriter.h"
#include "render/text_to_html.h"
#include "render/utf8_to_html.h"
#include "shell/host_api.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// "<HTML>\r\n<BODY>\r\n<FONT  face=\"ＭＳ ゴシック\" size=\"2\">" in Shift-JIS.
constexpr char HTML_HEAD[] =
    "<HTML>\r\n<BODY>\r\n<FONT  face=\""
    "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E"
    "\" size=\"2\">";
// The same in UTF-8.
constexpr char HTML_HEAD_UTF8[] =
    "<HTML>\r\n<BODY>\r\n<FONT  face=\""
    "\xEF\xBC\xAD\xEF\xBC\xB3\x20\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF"
    "\" size=\"2\">";
constexpr char HTML_TAIL[] = "\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n";
constexpr char SUBJECT_LABEL[] = "Subject:";
constexpr char LINE_BREAK[] = "<BR>";
constexpr char RULE[] = "----------------------------------------<BR>";

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

// The HTML part: its text in its charset, with the head, the Subject block when the Subject
// holds a pictograph, the body and the tail.
struct HtmlPart {
    std::string_view charset;   // of its Content-Type
    std::string_view encoding;  // its Content-Transfer-Encoding
    std::string text;
    bool subjectFound = false;
};

void AppendSubjectBlock(std::string& html, std::string_view label, std::string_view subjectHtml, std::string_view br,
                        std::string_view rule) {
    html.append(label).append(subjectHtml).append(br).append(rule);
}

// Every piece through the host's converter, as the design of the part has it.
HtmlPart RenderIso2022JpPart(std::string_view subject, std::string_view body, bool& found, CarrierCode carrier) {
    HtmlPart part{"ISO-2022-JP", "7bit", {}, false};
    const std::string subjectHtml = ConvertTextToHtml(subject, part.subjectFound, carrier);
    const std::string head = ToIso2022Jp(HTML_HEAD);
    const std::string html = ConvertTextToHtml(body, found, carrier);
    const std::string tail = ToIso2022Jp(HTML_TAIL);
    part.text.reserve(head.size() + subjectHtml.size() + html.size() + tail.size() + 128);
    part.text.append(head);
    if (part.subjectFound)
        AppendSubjectBlock(part.text, ToIso2022Jp(SUBJECT_LABEL), subjectHtml, ToIso2022Jp(LINE_BREAK), ToIso2022Jp(RULE));
    part.text.append(html).append(tail);
    return part;
}

// UTF-8 throughout, without the host's converter.
HtmlPart RenderUtf8Part(std::string_view subject, std::string_view body, bool& found, CarrierCode carrier) {
    HtmlPart part{"UTF-8", "8bit", {}, false};
    const std::string subjectHtml = ConvertSubjectToUtf8Html(subject, part.subjectFound, carrier);
    const std::string html = RenderUtf8AsHtml(body, carrier, found);
    part.text.reserve(sizeof HTML_HEAD_UTF8 + subjectHtml.size() + html.size() + sizeof HTML_TAIL + 128);
    part.text.append(HTML_HEAD_UTF8);
    if (part.subjectFound) AppendSubjectBlock(part.text, SUBJECT_LABEL, subjectHtml, LINE_BREAK, RULE);
    part.text.append(html).append(HTML_TAIL);
    return part;
}

// The two-part body appended to out, which may already hold the entity's header block.
void AppendAlternativeBody(std::string& out, std::string_view body, std::string_view boundary,
                           std::string_view plainCharset, const HtmlPart& html) {
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    out.reserve(out.size() + body.size() + html.text.size() + 2 * boundary.size() + 256);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/plain; charset=\"").append(plainCharset).append("\"").append(CRLF);
    out.append("Content-Transfer-Encoding: ").append(eightBit ? "8bit" : "7bit").append(CRLF);
    out.append(CRLF);
    out.append(body);
    out.append(CRLF).append(CRLF);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/html; charset=\"").append(html.charset).append("\"").append(CRLF);
    out.append("Content-Transfer-Encoding: ").append(html.encoding).append(CRLF);
    out.append(CRLF);
    out.append(html.text);
    out.append("--").append(boundary).append("--").append(CRLF);
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
    const HtmlPart html = kind.charset == TextCharset::Utf8 ? RenderUtf8Part(subject, *text, found, carrier)
                                                            : RenderIso2022JpPart(subject, *text, found, carrier);
    if (!found && !html.subjectFound) return std::nullopt;
    AppendAlternativeBody(out, *text, boundary, PlainPartCharset(kind), html);
    return out;
}

std::string BuildAlternativeBody(std::string_view subject, std::string_view body, std::string_view boundary,
                                 bool& found, CarrierCode carrier, std::string_view plainCharset) {
    const HtmlPart html = RenderIso2022JpPart(subject, body, found, carrier);
    if (html.subjectFound) found = true;
    std::string out;
    AppendAlternativeBody(out, body, boundary, plainCharset, html);
    return out;
}
