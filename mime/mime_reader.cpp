#include "mime/mime_reader.h"

#include <algorithm>

#include "base/bytes.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// A parameter value at the start of text: up to the closing quote when quoted (to the end
// when the quote is never closed), else up to ';', a blank, CR, LF or the end.
std::string_view ParameterValue(std::string_view text) {
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        return text.substr(0, text.find('"'));
    }
    return text.substr(0, text.find_first_of("; \t\r\n"));
}

// Whether the byte at i opens or closes a quoted string, or is escaped inside one (then i
// steps over the escaped byte): a ';' there separates no parameters.
bool IsQuotingByte(std::string_view text, size_t& i, bool& quoted) {
    if (text[i] == '"') {
        quoted = !quoted;
        return true;
    }
    if (quoted && text[i] == '\\' && i + 1 < text.size()) {
        ++i;
        return true;
    }
    return false;
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

namespace {

// Where the value of a line that is the header name starts, or npos: the name in any ASCII
// case, ':', then any run of blanks.
size_t HeaderValueStart(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':' || !StartsWithIgnoringCase(line, name) ||
        line.find('\n') != std::string_view::npos)
        return std::string_view::npos;
    size_t at = name.size() + 1;
    while (at < line.size() && IsBlank(line[at])) ++at;
    return at;
}

}  // namespace

bool IsHeaderLine(std::string_view line, std::string_view name) {
    return HeaderValueStart(line, name) != std::string_view::npos;
}

// A folded value is unfolded: webmail writes "Content-Type:multipart/alternative;" with the
// boundary on the next line.
std::optional<std::string> GetHeaderValueAt(const HeaderLines& lines, size_t i, std::string_view name) {
    const size_t at = HeaderValueStart(lines[i], name);
    if (at == std::string_view::npos) return std::nullopt;
    std::string value(lines[i].substr(at));
    while (++i < lines.size() && IsContinuationLine(lines[i]) && lines[i].find('\n') == std::string_view::npos)
        value += lines[i];
    return value;
}

std::string GetHeaderValue(const HeaderLines& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (std::optional<std::string> value = GetHeaderValueAt(lines, i, name)) return std::move(*value);
    return {};
}

std::string_view GetMediaType(std::string_view contentType) {
    const std::string_view type = SkipBlanks(contentType);
    return type.substr(0, type.find_first_of("; \t\r\n("));
}

bool IsPlainTextType(std::string_view contentType) { return EqualsIgnoringCase(GetMediaType(contentType), "text/plain"); }

bool IsHtmlType(std::string_view contentType) { return EqualsIgnoringCase(GetMediaType(contentType), "text/html"); }

bool GetMultipartBoundary(std::string_view contentType, std::string& boundary) {
    const std::string_view type = GetMediaType(contentType);
    // Rewriting inside a signed or encrypted entity would break it for good.
    if (!StartsWithIgnoringCase(type, "multipart/") || EqualsIgnoringCase(type, "multipart/signed") ||
        EqualsIgnoringCase(type, "multipart/encrypted"))
        return false;
    boundary = GetTypeParameter(contentType, "boundary");
    return !boundary.empty();
}

// Each parameter follows a ';' that stands outside quotes: blanks, the name, blanks, '=',
// blanks and the value.
std::string GetTypeParameter(std::string_view contentType, std::string_view name) {
    bool quoted = false;
    for (size_t i = 0; i < contentType.size(); ++i) {
        if (IsQuotingByte(contentType, i, quoted) || quoted || contentType[i] != ';') continue;
        std::string_view param = SkipBlanks(contentType.substr(i + 1));
        if (!StartsWithIgnoringCase(param, name)) continue;
        param = SkipBlanks(param.substr(name.size()));
        if (param.empty() || param.front() != '=') continue;
        return std::string(ParameterValue(SkipBlanks(param.substr(1))));
    }
    return {};
}

std::vector<std::string> GetOtherTypeParameters(std::string_view contentType, std::string_view name) {
    std::vector<std::string> others;
    bool quoted = false;
    size_t start = std::string_view::npos;  // of the parameter being read
    for (size_t i = 0; i <= contentType.size(); ++i) {
        if (i < contentType.size() && IsQuotingByte(contentType, i, quoted)) continue;
        if (i < contentType.size() && (quoted || contentType[i] != ';')) continue;
        if (start != std::string_view::npos) {
            const std::string_view param = Trim(contentType.substr(start, i - start), " \t");
            const std::string_view paramName = Trim(param.substr(0, param.find_first_of("=*")), " \t");
            if (!param.empty() && !EqualsIgnoringCase(paramName, name)) others.emplace_back(param);
        }
        start = i + 1;
    }
    return others;
}
