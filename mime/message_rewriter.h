// The rewritten message: every plain-text entity whose text or Subject holds a known
// pictograph becomes multipart/alternative of its own text and an HTML rendering of it, every
// HTML entity holding one gets its images in place, and the whole message carries the marker
// "CreateZaverGlyphory: true".
#pragma once

#include <string>
#include <string_view>

#include "mime/mime_reader.h"
#include "base/carrier.h"

// The marker header that keeps a message from being converted twice.
constexpr char MARKER_HEADER[] = "CreateZaverGlyphory";
// The line it is written as.
constexpr char MARKER_LINE[] = "CreateZaverGlyphory: true";

// Sets changed when the host is to receive the result; never clears it.
[[nodiscard]] std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel,
                                         bool& changed, CarrierCode carrier);

// 64 bytes: "--------_", 32 hexadecimal digits of a new GUID, "_MULTIPART_ALTERNATIVE_".
[[nodiscard]] std::string MakeAlternativeBoundary();
// A boundary of that form.
[[nodiscard]] bool IsAlternativeBoundary(std::string_view boundary);

// Removes the first line that is the header name, with its continuation lines, and appends
// line ("name: value", kept by the caller as long as lines) as the last line.
void SetHeader(HeaderLines& lines, std::string_view name, std::string_view line);
// Removes, in one pass, every line i for which remove(lines, i) holds, with its continuation
// lines.
template <typename Predicate>
void RemoveHeaderLines(HeaderLines& lines, Predicate remove) {
    size_t kept = 0;
    bool removing = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!IsContinuationLine(lines[i])) removing = remove(static_cast<const HeaderLines&>(lines), i);
        if (removing) continue;
        if (kept != i) lines[kept] = std::move(lines[i]);
        ++kept;
    }
    lines.resize(kept);
}
// The header block of lines, blank line included, appended to out.
void AppendHeaderLines(std::string& out, const HeaderLines& lines);
// The body cut by SplitMultipartBody written back with the given part texts.
[[nodiscard]] std::string JoinMultipartBody(const MultipartBody& layout, const PartList& parts,
                                            std::string_view boundary);
