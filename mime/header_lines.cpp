#include "mime/header_lines.h"

#include "base/bytes.h"
#include "platform/buffer_growth.h"

void SetHeader(HeaderLines& lines, std::string_view name, std::string_view line) {
    bool removed = false;
    RemoveHeaderLines(lines, [&](const HeaderLines& all, size_t i) {
        if (removed || !IsHeaderLine(all[i], name)) return false;
        return removed = true;
    });
    lines.push_back(line);
}

void AppendHeaderLines(std::string& out, const HeaderLines& lines) {
    size_t size = 2;
    for (const std::string_view line : lines) size += line.size() + 2;
    ReserveMore(out, size);
    for (const std::string_view line : lines) out.append(line).append("\r\n");
    out.append("\r\n");
}
