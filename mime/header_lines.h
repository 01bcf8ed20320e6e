// Editing a header block kept as lines (HeaderLines): setting one header, removing lines with
// their continuation lines, and writing the block back.
#pragma once

#include <string>
#include <string_view>

#include "mime/mime_reader.h"

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
