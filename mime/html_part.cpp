#include "mime/html_part.h"

#include "base/bytes.h"
#include "base/sjis.h"
#include "mime/html_charset.h"
#include "mime/related_images.h"
#include "render/html_pictographs.h"
#include "render/pictograph_map.h"
#include "render/text_to_html.h"
#include "render/utf8.h"

TextCharset ReadingCharsetOfHtml(TextCharset stated, std::string_view html) {
    // A byte order mark says more than any label, as it does to a browser.
    if (html.substr(0, 3) == "\xEF\xBB\xBF") return TextCharset::Utf8;
    if (stated != TextCharset::Unstated) return stated;
    const std::string declared = PrescanHtmlCharset(html);
    if (!declared.empty()) return ClassifyCharset(declared);
    if (FindNonAscii(html) == html.size()) return TextCharset::Iso2022Jp;
    return IsValidUtf8(html) ? TextCharset::Utf8 : TextCharset::ShiftJis;
}

std::optional<std::string> ConvertHtmlBody(const EntityKind& kind, std::string_view body, CarrierCode carrier,
                                           RelatedImages& images, int& last, size_t& shown) {
    std::string storage;
    const std::optional<std::string_view> text = DecodeText(kind.encoding, body, storage);
    if (!text) return std::nullopt;
    bool found = false;
    std::string html;
    switch (ReadingCharsetOfHtml(kind.charset, *text)) {
        case TextCharset::UsAscii:
        case TextCharset::Iso2022Jp:
            if (!IsValidIso2022Jp(*text)) return std::nullopt;
            html = ReplaceIso2022JpHtmlPictographs(*text, SelectPictographMap(carrier), found);
            break;
        case TextCharset::ShiftJis:
            if (!IsValidShiftJis(*text)) return std::nullopt;
            html = ReplaceSjisHtmlPictographs(*text, SelectPictographMap(carrier), found);
            break;
        case TextCharset::Utf8:
            if (!IsValidUtf8(*text)) return std::nullopt;
            html = ReplaceUtf8HtmlPictographs(*text, carrier, found);
            break;
        case TextCharset::Unstated:
        case TextCharset::Unread: return std::nullopt;
    }
    if (!found) return std::nullopt;
    shown = CountImageTags(html) - CountImageTags(*text);
    if (SelectPictographMap(carrier).Embedded()) TakeImageReferences(html, 0, images, last);
    return EncodeText(kind.encoding, html);
}
