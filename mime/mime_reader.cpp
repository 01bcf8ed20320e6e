#include "mime/mime_reader.h"
#include "mime/ascii_case.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

std::string_view SkipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return text.substr(i);
}

// A parameter value at the start of text: up to the closing quote when quoted (to the end
// when the quote is never closed), else up to ';', a blank, CR, LF or the end.
std::string_view ParameterValue(std::string_view text) {
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        return text.substr(0, text.find('"'));
    }
    return text.substr(0, text.find_first_of("; \t\r\n"));
}

}  // namespace

HeaderAndBody SplitHeaderAndBody(std::string_view source) {
    const size_t blank = source.find("\r\n\r\n");
    if (blank == std::string_view::npos) return {source, {}};
    return {source.substr(0, blank + 2), source.substr(blank + 4)};
}

HeaderLines SplitHeaderLines(std::string_view header) {
    HeaderLines lines;
    size_t pos = 0;
    while (pos < header.size()) {
        const size_t end = header.find(CRLF, pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(header.substr(pos));
            break;
        }
        if (end > pos) lines.emplace_back(header.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

bool IsHeaderLine(std::string_view line, std::string_view name) {
    return line.size() >= name.size() + 2 && line.substr(0, name.size()) == name &&
           line.substr(name.size(), 2) == ": " && line.find('\n') == std::string_view::npos;
}

std::string GetHeaderValue(const HeaderLines& lines, std::string_view name) {
    for (const std::string& line : lines)
        if (IsHeaderLine(line, name)) return line.substr(name.size() + 2);
    return {};
}

bool IsPlainTextType(std::string_view contentType) {
    const std::string_view type = SkipBlanks(contentType);
    constexpr std::string_view PLAIN = "text/plain";
    if (type.substr(0, PLAIN.size()) != PLAIN) return false;
    return type.size() == PLAIN.size() || type[PLAIN.size()] == ';' || IsBlank(type[PLAIN.size()]);
}

bool GetMultipartBoundary(std::string_view contentType, std::string& boundary) {
    if (contentType.find("Multipart") == std::string_view::npos &&
        contentType.find("multipart") == std::string_view::npos)
        return false;
    // Rewriting inside a signed or encrypted entity would break it for good.
    const std::string_view type = SkipBlanks(contentType);
    if (StartsWithIgnoringCase(type, "multipart/signed") || StartsWithIgnoringCase(type, "multipart/encrypted"))
        return false;
    const size_t at = contentType.find("boundary");
    if (at == std::string_view::npos) return false;
    std::string_view rest = SkipBlanks(contentType.substr(at + 8));
    if (rest.empty() || rest.front() != '=') return false;
    boundary = ParameterValue(SkipBlanks(rest.substr(1)));
    return !boundary.empty();
}

std::string GetTypeParameter(std::string_view contentType, std::string_view name) {
    for (size_t semi = contentType.find(';'); semi != std::string_view::npos; semi = contentType.find(';', semi + 1)) {
        std::string_view param = SkipBlanks(contentType.substr(semi + 1));
        if (!StartsWithIgnoringCase(param, name)) continue;
        param = SkipBlanks(param.substr(name.size()));
        if (param.empty() || param.front() != '=') continue;
        return std::string(ParameterValue(SkipBlanks(param.substr(1))));
    }
    return {};
}

MultipartBody SplitMultipartBody(std::string_view body, std::string_view boundary) {
    const std::string opening = "--" + std::string(boundary);
    const std::string closing = opening + "--";
    MultipartBody split;
    const size_t close = body.find(closing);
    if (close != std::string_view::npos) {
        split.closed = true;
        split.epilogue = body.substr(close + closing.size());
        body = body.substr(0, close);
    }
    size_t delimiter = body.find(opening);
    split.preamble = body.substr(0, delimiter);
    while (delimiter != std::string_view::npos) {
        std::string_view rest = body.substr(delimiter + opening.size());
        // The delimiter line's own end: blanks (transport padding) and its CR LF.
        size_t textStart = 0;
        while (textStart < rest.size() && IsBlank(rest[textStart])) ++textStart;
        textStart = rest.substr(textStart, 2) == CRLF ? textStart + 2 : 0;
        const size_t next = rest.find(opening, textStart);
        split.delimiterEnds.push_back(rest.substr(0, textStart));
        split.parts.push_back(rest.substr(textStart, next == std::string_view::npos ? std::string_view::npos : next - textStart));
        delimiter = next == std::string_view::npos ? next : delimiter + opening.size() + next;
    }
    return split;
}
