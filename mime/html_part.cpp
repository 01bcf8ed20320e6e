#include "mime/html_part.h"

#include "render/text_to_html.h"
#include "render/utf8_to_html.h"

std::optional<std::string> ConvertHtmlBody(const EntityKind& kind, std::string_view body, CarrierCode carrier) {
    const bool viaHost = kind.charset == TextCharset::Unstated || kind.charset == TextCharset::Iso2022Jp ||
                         kind.charset == TextCharset::UsAscii;
    const bool utf8 = kind.charset == TextCharset::Utf8;
    if (!viaHost && !utf8 && kind.charset != TextCharset::ShiftJis) return std::nullopt;
    std::string storage;
    const std::optional<std::string_view> text = DecodeText(kind.encoding, body, storage);
    if (!text) return std::nullopt;
    bool found = false;
    const std::string html = viaHost ? ConvertHtmlPictographs(*text, found, carrier)
                             : utf8  ? ReplaceUtf8HtmlPictographs(*text, carrier, found)
                                     : ReplaceHtmlPictographs(*text, SelectPictographMap(carrier), found);
    if (!found) return std::nullopt;
    return EncodeText(kind.encoding, html);
}
