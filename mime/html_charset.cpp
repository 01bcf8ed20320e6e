#include "mime/html_charset.h"

#include "base/bytes.h"

namespace {

constexpr size_t PRESCAN_BYTES = 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
    return lower;
}

struct Attribute {
    std::string name, value;  // in lower case
};

// The standard's "get an attribute": false when the tag ends (or the bytes do) first.
bool GetAttribute(std::string_view html, size_t& pos, Attribute& attribute) {
    while (pos < html.size() && (IsSpace(html[pos]) || html[pos] == '/')) ++pos;
    if (pos >= html.size() || html[pos] == '>') return false;
    const size_t nameStart = pos;
    ++pos;  // the first byte belongs to the name, even '='
    while (pos < html.size() && html[pos] != '=' && html[pos] != '/' && html[pos] != '>' && !IsSpace(html[pos])) ++pos;
    attribute.name = Lower(html.substr(nameStart, pos - nameStart));
    attribute.value.clear();
    while (pos < html.size() && IsSpace(html[pos])) ++pos;
    if (pos >= html.size() || html[pos] != '=') return pos < html.size();
    ++pos;
    while (pos < html.size() && IsSpace(html[pos])) ++pos;
    if (pos >= html.size()) return false;
    if (html[pos] == '"' || html[pos] == '\'') {
        const size_t close = html.find(html[pos], pos + 1);
        if (close == std::string_view::npos) return false;
        attribute.value = Lower(html.substr(pos + 1, close - pos - 1));
        pos = close + 1;
        return true;
    }
    const size_t valueStart = pos;
    while (pos < html.size() && html[pos] != '>' && !IsSpace(html[pos])) ++pos;
    attribute.value = Lower(html.substr(valueStart, pos - valueStart));
    return true;
}

// The standard's "extract a character encoding from a meta element" on a content value.
std::string CharsetOfContent(std::string_view content) {
    for (size_t at = content.find("charset"); at != std::string_view::npos; at = content.find("charset", at)) {
        size_t pos = at + 7;
        while (pos < content.size() && IsSpace(content[pos])) ++pos;
        if (pos >= content.size() || content[pos] != '=') {
            at = pos;
            continue;
        }
        ++pos;
        while (pos < content.size() && IsSpace(content[pos])) ++pos;
        if (pos >= content.size()) return {};
        if (content[pos] == '"' || content[pos] == '\'') {
            const size_t close = content.find(content[pos], pos + 1);
            return close == std::string_view::npos ? std::string() : std::string(content.substr(pos + 1, close - pos - 1));
        }
        const size_t end = content.find_first_of(" \t\n\f\r;", pos);
        return std::string(content.substr(pos, end == std::string_view::npos ? end : end - pos));
    }
    return {};
}

// The charset a <meta> tag whose attributes start at pos declares, or empty.
std::string CharsetOfMeta(std::string_view html, size_t& pos) {
    bool gotPragma = false, needPragma = false, seenName[3] = {};
    std::string charset;
    Attribute attribute;
    while (GetAttribute(html, pos, attribute)) {
        const int index = attribute.name == "http-equiv" ? 0 : attribute.name == "content" ? 1 : attribute.name == "charset" ? 2 : -1;
        if (index < 0 || seenName[index]) continue;  // only the first of a name counts
        seenName[index] = true;
        if (index == 0) {
            gotPragma = attribute.value == "content-type";
        } else if (index == 1 && charset.empty()) {
            charset = CharsetOfContent(attribute.value);
            needPragma = !charset.empty();
        } else if (index == 2) {
            charset = attribute.value, needPragma = false;
        }
    }
    charset = std::string(Trim(charset, " \t\n\f\r"));
    if (charset.empty() || (needPragma && !gotPragma)) return {};
    // UTF-16 cannot be what a document read byte by byte says it is.
    if (charset.rfind("utf-16", 0) == 0) return "utf-8";
    return charset;
}

}  // namespace

std::string PrescanHtmlCharset(std::string_view html) {
    html = html.substr(0, PRESCAN_BYTES);
    for (size_t pos = 0; pos < html.size();) {
        if (html[pos] != '<') {
            ++pos;
            continue;
        }
        const std::string_view rest = html.substr(pos);
        if (rest.substr(0, 4) == "<!--") {
            const size_t close = html.find("-->", pos + 2);
            if (close == std::string_view::npos) return {};
            pos = close + 3;
        } else if (StartsWithIgnoringCase(rest, "<meta") && rest.size() > 5 && (IsSpace(rest[5]) || rest[5] == '/')) {
            pos += 6;
            std::string charset = CharsetOfMeta(html, pos);
            if (!charset.empty()) return charset;
        } else if ((rest.size() > 1 && IsAsciiLetter(rest[1])) || (rest.size() > 2 && rest[1] == '/' && IsAsciiLetter(rest[2]))) {
            pos = html.find_first_of(" \t\n\f\r>", pos);
            if (pos == std::string_view::npos) return {};
            Attribute ignored;
            while (GetAttribute(html, pos, ignored)) {
            }
        } else if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '/' || rest[1] == '?')) {
            pos = html.find('>', pos + 1);
            if (pos == std::string_view::npos) return {};
            ++pos;
        } else {
            ++pos;
        }
    }
    return {};
}
