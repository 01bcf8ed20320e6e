#include "cli/sanitize.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>

#include <gumbo.h>

#include "base/bytes.h"

namespace {

// Elements written with their allowed attributes; any other element is left out, its content
// kept unless it is one of DROPPED_WITH_CONTENT.
constexpr std::array ALLOWED_ELEMENTS = {
    GUMBO_TAG_A,       GUMBO_TAG_ABBR,   GUMBO_TAG_B,      GUMBO_TAG_BIG,     GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_BR,
    GUMBO_TAG_CAPTION, GUMBO_TAG_CENTER, GUMBO_TAG_CITE,   GUMBO_TAG_CODE,    GUMBO_TAG_COL,        GUMBO_TAG_COLGROUP,
    GUMBO_TAG_DD,      GUMBO_TAG_DEL,    GUMBO_TAG_DIV,    GUMBO_TAG_DL,      GUMBO_TAG_DT,         GUMBO_TAG_EM,
    GUMBO_TAG_FONT,    GUMBO_TAG_H1,     GUMBO_TAG_H2,     GUMBO_TAG_H3,      GUMBO_TAG_H4,         GUMBO_TAG_H5,
    GUMBO_TAG_H6,      GUMBO_TAG_HR,     GUMBO_TAG_I,      GUMBO_TAG_IMG,     GUMBO_TAG_INS,        GUMBO_TAG_KBD,
    GUMBO_TAG_LI,      GUMBO_TAG_MARQUEE, GUMBO_TAG_OL,    GUMBO_TAG_P,       GUMBO_TAG_PRE,        GUMBO_TAG_Q,
    GUMBO_TAG_S,       GUMBO_TAG_SAMP,   GUMBO_TAG_SMALL,  GUMBO_TAG_SPAN,    GUMBO_TAG_STRIKE,     GUMBO_TAG_STRONG,
    GUMBO_TAG_SUB,     GUMBO_TAG_SUP,    GUMBO_TAG_TABLE,  GUMBO_TAG_TBODY,   GUMBO_TAG_TD,         GUMBO_TAG_TFOOT,
    GUMBO_TAG_TH,      GUMBO_TAG_THEAD,  GUMBO_TAG_TR,     GUMBO_TAG_TT,      GUMBO_TAG_U,          GUMBO_TAG_UL,
    GUMBO_TAG_WBR};

// Left out with all they hold: what runs, loads, submits or is no text to read.
constexpr std::array DROPPED_WITH_CONTENT = {
    GUMBO_TAG_SCRIPT,   GUMBO_TAG_STYLE, GUMBO_TAG_IFRAME, GUMBO_TAG_OBJECT,   GUMBO_TAG_EMBED,    GUMBO_TAG_APPLET,
    GUMBO_TAG_FRAMESET, GUMBO_TAG_FRAME, GUMBO_TAG_NOSCRIPT, GUMBO_TAG_TEMPLATE, GUMBO_TAG_SVG,    GUMBO_TAG_MATH,
    GUMBO_TAG_TEXTAREA, GUMBO_TAG_SELECT, GUMBO_TAG_HEAD,  GUMBO_TAG_TITLE,    GUMBO_TAG_NOEMBED,  GUMBO_TAG_NOFRAMES,
    GUMBO_TAG_VIDEO,    GUMBO_TAG_AUDIO, GUMBO_TAG_CANVAS};

constexpr std::array VOID_ELEMENTS = {GUMBO_TAG_BR, GUMBO_TAG_COL, GUMBO_TAG_HR, GUMBO_TAG_IMG, GUMBO_TAG_WBR};

// Attributes that only shape the text; href and src are judged on their own.
constexpr std::array<std::string_view, 21> ALLOWED_ATTRIBUTES = {
    "align", "alt",  "bgcolor", "border", "cellpadding", "cellspacing", "class", "color", "colspan", "dir",  "face",
    "height", "lang", "nowrap", "rowspan", "size",       "span",        "title", "valign", "width",  "start"};

template <typename List, typename Item>
bool Holds(const List& list, const Item& item) {
    return std::find(std::begin(list), std::end(list), item) != std::end(list);
}

std::string Lower(std::string_view text) {
    std::string lower;
    for (const char c : text)
        if (!IsBlank(c) && c != '\n' && c != '\r' && c != '\f') lower += static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
    return lower;
}

// A link a reader may follow: to the web, to mail, or within the page.
bool IsSafeLink(std::string_view url) {
    const std::string lower = Lower(url);
    for (const std::string_view scheme : {"http://", "https://", "mailto:", "#"})
        if (lower.rfind(scheme, 0) == 0) return true;
    return false;
}

// Style that only shapes text: the declarations of an allow-list of properties whose values
// call no function, escape nothing and name no rule (no url(), no var(), no position: nothing
// that loads a resource or lays the sender's content over the page).
std::string SafeStyle(std::string_view style) {
    constexpr std::string_view PROPERTIES[] = {"color", "background-color", "font-size", "font-weight", "font-style",
                                               "font-family", "text-align", "text-decoration", "vertical-align",
                                               "line-height", "white-space", "letter-spacing"};
    std::string safe;
    for (size_t start = 0; start <= style.size();) {
        const size_t end = std::min(style.find(';', start), style.size());
        const std::string_view declaration = style.substr(start, end - start);
        start = end + 1;
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = Lower(declaration.substr(0, colon));
        const std::string_view value = declaration.substr(colon + 1);
        if (!Holds(PROPERTIES, std::string_view(name)) || value.find_first_of("()\\@/<>\"'{}") != std::string_view::npos) continue;
        safe.append(name).append(":").append(value).append(";");
    }
    return safe;
}

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            default: out += c;
        }
    }
}

void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
    out.append(" ").append(name).append("=\"");
    AppendEscaped(out, value, true);
    out += '"';
}

void AppendNode(std::string& out, const GumboNode& node, const ImageUrlOf& imageUrl, int depth);

void AppendChildren(std::string& out, const GumboVector& children, const ImageUrlOf& imageUrl, int depth) {
    for (unsigned i = 0; i < children.length; ++i) AppendNode(out, *static_cast<const GumboNode*>(children.data[i]), imageUrl, depth);
}

void AppendElement(std::string& out, const GumboElement& element, const ImageUrlOf& imageUrl, int depth) {
    if (Holds(DROPPED_WITH_CONTENT, element.tag)) return;
    if (!Holds(ALLOWED_ELEMENTS, element.tag)) {
        AppendChildren(out, element.children, imageUrl, depth + 1);
        return;
    }
    std::string tag = "<";
    tag += gumbo_normalized_tagname(element.tag);
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto& attribute = *static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const std::string_view name = attribute.name, value = attribute.value;
        if (element.tag == GUMBO_TAG_IMG && name == "src") continue;  // written below, ours only
        if (element.tag == GUMBO_TAG_A && name == "href") {
            if (IsSafeLink(value)) AppendAttribute(tag, name, value);
        } else if (name == "style") {
            if (const std::string style = SafeStyle(value); !style.empty()) AppendAttribute(tag, name, style);
        } else if (Holds(ALLOWED_ATTRIBUTES, name)) {
            AppendAttribute(tag, name, value);
        }
    }
    if (element.tag == GUMBO_TAG_IMG) {
        const GumboAttribute* src = gumbo_get_attribute(&element.attributes, "src");
        const std::optional<std::string> url = src ? imageUrl(src->value) : std::nullopt;
        if (!url) return;
        AppendAttribute(tag, "src", *url);
    }
    if (element.tag == GUMBO_TAG_A) tag += " rel=\"noopener noreferrer\"";
    out.append(tag).append(">");
    if (Holds(VOID_ELEMENTS, element.tag)) return;
    AppendChildren(out, element.children, imageUrl, depth + 1);
    out.append("</").append(gumbo_normalized_tagname(element.tag)).append(">");
}

// Deeper than this the parser's tree is a stranger's attempt to exhaust the stack: what stands
// there is left out.
constexpr int MAX_DEPTH = 200;
// Larger HTML, or HTML of more tags, is no mail's decoration but an attempt to make the parser
// spend time and memory growing with the square of it: the page shows the text instead.
constexpr size_t MAX_SIZE = 256 * 1024, MAX_TAGS = 5000;

void AppendNode(std::string& out, const GumboNode& node, const ImageUrlOf& imageUrl, int depth) {
    switch (node.type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            if (depth < MAX_DEPTH) AppendElement(out, node.v.element, imageUrl, depth);
            break;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA: AppendEscaped(out, node.v.text.text, false); break;
        case GUMBO_NODE_DOCUMENT: AppendChildren(out, node.v.document.children, imageUrl, depth + 1); break;
        case GUMBO_NODE_COMMENT: break;
    }
}

}  // namespace

std::optional<std::string> SanitizeHtml(std::string_view utf8, const ImageUrlOf& imageUrl) {
    if (utf8.size() > MAX_SIZE || static_cast<size_t>(std::count(utf8.begin(), utf8.end(), '<')) > MAX_TAGS) return std::nullopt;
    // Parse errors are not kept: each would copy the stack of open elements.
    static const GumboOptions options = [] {
        GumboOptions quiet = kGumboDefaultOptions;
        quiet.max_errors = 0;
        return quiet;
    }();
    const std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> parsed(
        gumbo_parse_with_options(&options, utf8.data(), utf8.size()),
        [](GumboOutput* output) { gumbo_destroy_output(&options, output); });
    std::string out;
    if (parsed) AppendNode(out, *parsed->root, imageUrl, 0);
    return out;
}
