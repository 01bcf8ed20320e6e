#include "cli/mbox.h"

#include <algorithm>

#include "base/bytes.h"

namespace {

constexpr size_t PIECE = 1 << 20;

bool IsFromLine(std::string_view text, size_t at) { return text.substr(at, 5) == "From "; }

// A line of one or more '>' and then "From ".
bool IsQuotedFromLine(std::string_view line) {
    const size_t quotes = line.find_first_not_of('>');
    return quotes != 0 && quotes != std::string_view::npos && line.substr(quotes, 5) == "From ";
}

// Each line of text handed to change(line) (with its LF), which appends what replaces it.
template <typename Change>
std::string MapLines(std::string_view text, Change change) {
    std::string out;
    out.reserve(text.size() + text.size() / 64);
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = std::min(text.find('\n', pos), text.size() - 1) + 1;
        change(out, text.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

}  // namespace

bool IsMboxStart(std::string_view head) { return head.substr(0, 5) == "From "; }

bool ForEachMboxMessage(std::istream& in, const std::function<void(std::string_view, std::string_view)>& each) {
    std::string buffer;
    std::string fromLine;
    size_t start = 0;   // where the current message starts in buffer
    size_t scanned = 0; // lines before this are known not to be "From " lines
    bool first = true;
    for (;;) {
        // Every "From " line that stands at the start of a line in what is read.
        for (size_t at = scanned; at < buffer.size();) {
            const size_t end = buffer.find('\n', at);
            if (end == std::string::npos) break;  // a line not yet read whole
            if ((at == 0 || buffer[at - 1] == '\n') && IsFromLine(buffer, at)) {
                if (!first || at > start) each(fromLine, std::string_view(buffer).substr(start, at - start));
                first = false;
                fromLine = buffer.substr(at, end + 1 - at);
                start = end + 1;
            }
            at = end + 1;
            scanned = at;
        }
        // The message read so far moves to the front; the next piece follows it.
        buffer.erase(0, start);
        scanned -= start;
        start = 0;
        const size_t size = buffer.size();
        buffer.resize(size + PIECE);
        in.read(buffer.data() + size, static_cast<std::streamsize>(PIECE));
        buffer.resize(size + static_cast<size_t>(in.gcount()));
        if (in.gcount() == 0) break;
    }
    if (in.bad()) return false;
    if (!first || !buffer.empty()) each(fromLine, buffer);
    return true;
}

std::string UnquoteMboxLines(std::string_view message) {
    return MapLines(message, [](std::string& out, std::string_view line) {
        out.append(IsQuotedFromLine(line) ? line.substr(1) : line);
    });
}

std::string QuoteMboxLines(std::string_view message) {
    return MapLines(message, [](std::string& out, std::string_view line) {
        if (IsQuotedFromLine(line) || line.substr(0, 5) == "From ") out.push_back('>');
        out.append(line);
    });
}

std::string_view LineEndOf(std::string_view message) {
    return message.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
}

bool EndsWithBlankLine(std::string_view message, std::string_view lineEnd) {
    if (message.size() < 2 * lineEnd.size()) return false;
    const std::string_view end = message.substr(message.size() - 2 * lineEnd.size());
    return end.substr(0, lineEnd.size()) == lineEnd && end.substr(lineEnd.size()) == lineEnd;
}

void UpdateContentLength(std::string& message) {
    const std::string_view text = message;
    const std::string_view lineEnd = LineEndOf(text);
    const std::string blank = std::string(lineEnd) + std::string(lineEnd);
    const size_t headerEnd = text.find(blank);
    if (headerEnd == std::string_view::npos) return;
    const size_t bodyStart = headerEnd + blank.size();
    size_t bodyEnd = text.size();
    // The blank line that ends the message before the next "From " line is not the body's.
    if (bodyEnd >= bodyStart + blank.size() && EndsWithBlankLine(text, lineEnd)) bodyEnd -= lineEnd.size();
    const std::string length = std::to_string(bodyEnd - bodyStart);
    for (size_t at = 0; at <= headerEnd;) {
        const size_t end = text.find(lineEnd, at);
        if (StartsWithIgnoringCase(text.substr(at, end - at), "Content-Length:")) {
            message.replace(at, end - at, "Content-Length: " + length);
            return;
        }
        at = end + lineEnd.size();
    }
}
