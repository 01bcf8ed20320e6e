#include "mime/text_lines.h"

std::string WithCrLfLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t copied = 0;
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
        if (lf > 0 && text[lf - 1] == '\r') continue;
        out.append(text.substr(copied, lf - copied)).append("\r\n");
        copied = lf + 1;
    }
    return out.append(text.substr(copied));
}

std::string UnflowText(std::string_view text, bool delSp) {
    std::string out;
    out.reserve(text.size());
    bool runsOn = false;  // the line before ends in a soft line break
    size_t runDepth = 0;
    for (size_t pos = 0; pos < text.size();) {
        const size_t lf = text.find('\n', pos);
        const size_t lineEnd = lf == std::string_view::npos ? text.size() : lf;
        const size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        const std::string_view line = text.substr(pos, lineEnd - pos - (lineEnd > pos && text[lineEnd - 1] == '\r'));
        pos = next;
        size_t depth = 0;
        while (depth < line.size() && line[depth] == '>') ++depth;
        std::string_view content = line.substr(depth);
        if (!content.empty() && content.front() == ' ') content.remove_prefix(1);
        if (runsOn && depth == runDepth) {
            if (delSp) out.pop_back();
            out.append(content);
        } else {
            if (runsOn) out.append("\r\n");  // a soft break before another quote depth is hard
            out.append(depth == 0 ? content : line);
        }
        runsOn = !content.empty() && content.back() == ' ' && content != "-- ";
        runDepth = depth;
        if (!runsOn && lf != std::string_view::npos) out.append("\r\n");
    }
    if (runsOn && !text.empty() && text.back() == '\n') out.append("\r\n");
    return out;
}
