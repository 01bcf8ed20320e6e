#include "mime/entity_kind.h"

#include "base/bytes.h"

namespace {

// RFC 2045 token: printable US-ASCII less the blank and the tspecials.
bool IsToken(std::string_view text) {
    constexpr std::string_view TSPECIALS = "()<>@,;:\\\"/[]?=";
    if (text.empty()) return false;
    for (const char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch <= 0x20 || ch >= 0x7F || TSPECIALS.find(c) != std::string_view::npos) return false;
    }
    return true;
}

}  // namespace

TextCharset ClassifyCharset(std::string_view name) {
    if (name.empty()) return TextCharset::Unstated;
    if (!IsToken(name)) return TextCharset::Unread;
    // The names of MIME and the labels of the Encoding Standard, which HTML <meta> uses.
    if (EqualsIgnoringCase(name, "ISO-2022-JP") || EqualsIgnoringCase(name, "csiso2022jp")) return TextCharset::Iso2022Jp;
    if (EqualsIgnoringCase(name, "US-ASCII")) return TextCharset::UsAscii;
    for (const std::string_view alias : {"UTF-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8"})
        if (EqualsIgnoringCase(name, alias)) return TextCharset::Utf8;
    for (const std::string_view alias :
         {"Shift_JIS", "shift-jis", "sjis", "x-sjis", "cp932", "windows-31j", "ms932", "ms_kanji", "csshiftjis"})
        if (EqualsIgnoringCase(name, alias)) return TextCharset::ShiftJis;
    return TextCharset::Unread;
}

EntityKind ClassifyEntity(const HeaderLines& lines) {
    EntityKind kind;
    const std::string contentType = GetHeaderValue(lines, "Content-Type");
    if (IsPlainTextType(contentType)) kind.media = MediaKind::PlainText;
    else if (IsHtmlType(contentType)) kind.media = MediaKind::Html;
    else if (GetMultipartBoundary(contentType, kind.boundary)) kind.media = MediaKind::Multipart;
    kind.related = kind.media == MediaKind::Multipart && EqualsIgnoringCase(GetMediaType(contentType), "multipart/related");
    if (kind.media != MediaKind::PlainText && kind.media != MediaKind::Html) return kind;
    if (EqualsIgnoringCase(GetMediaType(GetHeaderValue(lines, "Content-Disposition")), "attachment")) {
        kind.media = MediaKind::Other;
        return kind;
    }
    kind.encoding = ClassifyTransferEncoding(GetHeaderValue(lines, "Content-Transfer-Encoding"));
    kind.charsetName = GetTypeParameter(contentType, "charset");
    kind.charset = ClassifyCharset(kind.charsetName);
    if (kind.charset == TextCharset::Unread) kind.charsetName.clear();
    if (kind.media == MediaKind::PlainText) {
        kind.parameters = GetOtherTypeParameters(contentType, "charset");
        kind.flowed = EqualsIgnoringCase(GetTypeParameter(contentType, "format"), "flowed");
        kind.delSp = EqualsIgnoringCase(GetTypeParameter(contentType, "delsp"), "yes");
    }
    return kind;
}
