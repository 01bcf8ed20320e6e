#include "mime/text_part.h"

#include <algorithm>

#include "base/bytes.h"
#include "platform/buffer_growth.h"
#include "mime/boundary.h"
#include "mime/header_lines.h"
#include "mime/related_images.h"
#include "mime/text_lines.h"
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
// Between the Subject block and the text.
constexpr char SUBJECT_RULE[] = "----------------------------------------<BR>";

// A fixed piece of the HTML part in ISO-2022-JP, as the host converts it, once a message.
const std::string& ToIso2022Jp(std::optional<std::string>& converted, const char* sjis) {
    if (!converted) {
        const char* jis = g_hostApi.BKA_ISO_2022_JP(sjis, SJIS_TO_ISO2022JP);
        converted = jis ? jis : "";
    }
    return *converted;
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

// How the HTML part is written: the host's ISO-2022-JP, or UTF-8 for a UTF-8 text.
enum class HtmlCharset { Iso2022Jp, Utf8 };

// The Subject's HTML in the charset of the part, once a message.
const SubjectHtml& RenderSubject(HtmlCharset htmlCharset, MessageHtml& shared) {
    std::optional<SubjectHtml>& rendered = htmlCharset == HtmlCharset::Utf8 ? shared.subjectUtf8 : shared.subjectIso2022Jp;
    if (!rendered) {
        rendered.emplace();
        rendered->html = htmlCharset == HtmlCharset::Utf8 ? ConvertSubjectToUtf8Html(shared.subject, rendered->found, shared.carrier)
                                                : ConvertTextToHtml(shared.subject, rendered->found, shared.carrier);
        rendered->images = CountImageTags(rendered->html);
    }
    return *rendered;
}

// The HTML part's text appended to out: the head, the Subject block when the Subject holds a
// pictograph, the body and the tail; the pictographs of the body it shows.
size_t AppendHtml(std::string& out, HtmlCharset htmlCharset, const SubjectHtml& subject, std::string_view body, MessageHtml& shared) {
    const bool utf8 = htmlCharset == HtmlCharset::Utf8;
    // UTF-8 throughout, without the host's converter; else every fixed piece through it, in the
    // client's own ISO-2022-JP.
    const auto fixed = [&](std::optional<std::string>& converted, const char* sjis) -> std::string_view {
        return utf8 ? std::string_view(sjis) : std::string_view(ToIso2022Jp(converted, sjis));
    };
    out.append(utf8 ? std::string_view(HTML_HEAD_UTF8) : fixed(shared.head, HTML_HEAD));
    if (subject.found)
        out.append(fixed(shared.subjectLabel, SUBJECT_LABEL))
            .append(subject.html)
            .append(fixed(shared.lineBreak, LINE_BREAK))
            .append(fixed(shared.rule, SUBJECT_RULE));
    const size_t bodyStart = out.size();
    bool found = false;
    if (utf8)
        AppendUtf8AsHtml(out, body, shared.carrier, found);
    else
        AppendTextAsHtml(out, body, found, shared.carrier);
    const size_t shown = CountImageTags(std::string_view(out).substr(bodyStart));
    out.append(fixed(shared.tail, HTML_TAIL));
    return shown;
}

// The plain part's Content-Type line, its parameters folded onto lines of their own where
// the line would grow past 78 characters.
void AppendPlainContentType(std::string& out, std::string_view charset, const std::vector<std::string>& parameters) {
    const size_t lineStart = out.size();
    out.append("Content-Type: text/plain; charset=\"").append(charset).append("\"");
    size_t line = out.size() - lineStart;
    for (const std::string& parameter : parameters) {
        if (line + 2 + parameter.size() > 78) {
            out.append(";").append(CRLF).append(" ").append(parameter);
            line = 1 + parameter.size();
        } else {
            out.append("; ").append(parameter);
            line += 2 + parameter.size();
        }
    }
    out.append(CRLF);
}

// What the HTML shows of a text: a decoded text's LF-only lines end as CR LF lines do, and the
// soft line breaks of a flowed one are joined.
std::string_view TextForHtml(const EntityKind& kind, std::string_view text, std::string& storage) {
    if (kind.flowed) return storage = UnflowText(text, kind.delSp);
    if (kind.encoding != TransferEncoding::Identity && text.find('\n') != std::string_view::npos)
        return storage = WithCrLfLineEnds(text);
    return text;
}

// The two-part body appended to out, which may already hold the entity's header block: the
// plain part is the text with the entity's own Content-Type parameters, the HTML part shows
// htmlText and is written straight into out.
void AppendAlternativeBody(std::string& out, const SubjectHtml& subject, std::string_view body, std::string_view htmlText,
                           std::string_view boundary, const EntityKind& kind, HtmlCharset htmlCharset, MessageHtml& shared,
                           RewriteReport& converted) {
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    out.append("--").append(boundary).append(CRLF);
    AppendPlainContentType(out, PlainPartCharset(kind), kind.parameters);
    out.append("Content-Transfer-Encoding: ").append(eightBit ? "8bit" : "7bit").append(CRLF);
    out.append(CRLF);
    out.append(body);
    out.append(CRLF).append(CRLF);
    out.append("--").append(boundary).append(CRLF);
    // Images carried as parts: the HTML and its images in a multipart/related of their own.
    const bool embedded = SelectPictographMap(shared.carrier).Embedded();
    const std::string related = embedded ? MakeRelatedBoundary() : std::string();
    if (embedded) out.append(RelatedContentType(related)).append(CRLF).append(CRLF).append("--").append(related).append(CRLF);
    const size_t part = out.size();
    out.append("Content-Type: text/html; charset=\"").append(htmlCharset == HtmlCharset::Utf8 ? "UTF-8" : "ISO-2022-JP").append("\"");
    out.append(CRLF);
    out.append("Content-Transfer-Encoding: ").append(htmlCharset == HtmlCharset::Utf8 ? "8bit" : "7bit").append(CRLF);
    out.append(CRLF);
    const size_t html = out.size();
    converted.bodyImages = AppendHtml(out, htmlCharset, subject, htmlText, shared);
    converted.subjectImages = subject.found ? subject.images : 0;
    if (embedded) {
        RelatedImages images;
        TakeImageReferences(out, html, images, shared.lastRelated);
        converted.ownHtml = Span{part, out.size() - part};
        converted.imageBytes = AppendImageParts(out, images.ids, "--" + related);
        converted.imagesCarried = images.ids.size();
        out.append("--").append(related).append("--").append(CRLF);
    } else {
        converted.ownHtml = Span{part, out.size() - part};
    }
    out.append("--").append(boundary).append("--").append(CRLF);
}

}  // namespace

bool AppendConvertedTextEntity(std::string& out, const EntityKind& kind, const HeaderLines& lines, std::string_view body,
                               MessageHtml& shared, size_t bytesAfter, RewriteReport& converted) {
    if (kind.charset == TextCharset::Unread) return false;
    // A base64 or quoted-printable text is converted decoded; no multipart/alternative entity
    // may declare either encoding, so the entity's own declaration goes.
    std::string storage;
    const std::optional<std::string_view> text = DecodeText(kind.encoding, body, storage);
    if (!text) return false;
    // A text that names a 7-bit charset (ISO-2022-JP, US-ASCII) but is not 7-bit cannot be read
    // as it says: its 8-bit bytes would be taken for codes, and carried in a part declared
    // 7bit. It stays as it came, as a sender's HTML does. (A text that names none is the
    // client's own, Shift-JIS.)
    if ((kind.charset == TextCharset::Iso2022Jp || kind.charset == TextCharset::UsAscii) && FindNonAscii(*text) != text->size())
        return false;
    // Most text holds no pictograph: that is found out without writing anything.
    const HtmlCharset htmlCharset = kind.charset == TextCharset::Utf8 ? HtmlCharset::Utf8 : HtmlCharset::Iso2022Jp;
    const SubjectHtml& subjectHtml = RenderSubject(htmlCharset, shared);
    std::string htmlStorage;
    const std::string_view htmlText = TextForHtml(kind, *text, htmlStorage);
    // The HTML is as long as the text at least; the Shift-JIS walk tells how much longer.
    size_t expectedHtml = htmlText.size();
    if (!subjectHtml.found && !(htmlCharset == HtmlCharset::Utf8 ? HoldsUtf8Pictograph(htmlText, shared.carrier)
                                                       : HoldsPictograph(htmlText, shared.carrier, expectedHtml)))
        return false;
    // The header the entity gets when converted, so that its body is written right after it.
    const std::string boundary = MakeAlternativeBoundary();
    HeaderLines header = lines;
    const std::string contentType = "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"";
    SetHeader(header, "Content-Type", contentType);
    RemoveEncodingDeclarations(header);
    // Room for the whole entity at once: its header block, both parts (the host's escape
    // sequences included), and what follows it; an HTML larger than expected grows out as it comes.
    size_t headerSize = 2;
    for (const std::string_view line : header) headerSize += line.size() + 2;
    size_t parametersSize = 0;
    for (const std::string& parameter : kind.parameters) parametersSize += parameter.size() + 4;
    ReserveMore(out, headerSize + text->size() + parametersSize + expectedHtml + expectedHtml / 8 + subjectHtml.html.size() +
                         2 * boundary.size() + 1024 + bytesAfter);
    AppendHeaderLines(out, header);
    AppendAlternativeBody(out, subjectHtml, *text, htmlText, boundary, kind, htmlCharset, shared, converted);
    return true;
}
