// Taking a raw message apart as bytes: header block and body, header lines, one header's
// value, the plain-text and multipart tests, the boundary and the other parameters.
// Lines end in CR LF; everything is compared byte for byte unless said otherwise.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HeaderAndBody {
    std::string_view header;  // keeps the CR LF of its last line
    std::string_view body;
};

// One entry per physical line of a header block, without its CR LF; no entry is empty. The
// lines are views of the message (or of a line the caller keeps).
using HeaderLines = std::vector<std::string_view>;

// Split at the first CR LF CR LF; without one, all is header and the body is empty.
[[nodiscard]] HeaderAndBody SplitHeaderAndBody(std::string_view source);
[[nodiscard]] HeaderLines SplitHeaderLines(std::string_view header);

// A line is the header name when it begins with the name (in any ASCII case), ':' and any
// run of blanks, and holds no LF byte; its value starts after the blanks.
[[nodiscard]] bool IsHeaderLine(std::string_view line, std::string_view name);
// A line that begins with a blank continues the header line before it.
[[nodiscard]] inline bool IsContinuationLine(std::string_view line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}
// The value of the first line that is the header name, with its continuation lines, or empty.
[[nodiscard]] std::string GetHeaderValue(const HeaderLines& lines, std::string_view name);
// The same for the line at i only; nothing when it is not the header name.
[[nodiscard]] std::optional<std::string> GetHeaderValueAt(const HeaderLines& lines, size_t i, std::string_view name);

// The media type of a Content-Type value: leading blanks skipped, up to ';' or a blank.
[[nodiscard]] std::string_view GetMediaType(std::string_view contentType);
// Media types are compared without regard to ASCII case.
[[nodiscard]] bool IsPlainTextType(std::string_view contentType);
[[nodiscard]] bool IsHtmlType(std::string_view contentType);
// A multipart type other than signed and encrypted, whose boundary parameter is not empty.
[[nodiscard]] bool GetMultipartBoundary(std::string_view contentType, std::string& boundary);
// A parameter's value (name compared without regard to case; quotes taken off), or empty.
[[nodiscard]] std::string GetTypeParameter(std::string_view contentType, std::string_view name);
// Every parameter but those of the name (its RFC 2231 forms, "name*...", included), each as
// written, blanks around it trimmed.
[[nodiscard]] std::vector<std::string> GetOtherTypeParameters(std::string_view contentType, std::string_view name);
