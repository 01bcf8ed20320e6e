#include "cli/mbox.h"

#include <algorithm>
#include <optional>

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

namespace {

// The number a Content-Length header line gives, or nothing.
std::optional<size_t> ContentLengthOf(std::string_view line) {
    constexpr std::string_view NAME = "Content-Length:";
    if (!StartsWithIgnoringCase(line, NAME)) return std::nullopt;
    line.remove_prefix(NAME.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.remove_suffix(1);
    size_t value = 0;
    if (line.empty() || line.size() > 15 || line.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    for (const char digit : line) value = value * 10 + static_cast<size_t>(digit - '0');
    return value;
}

// A "From " line as delivery agents write it: the envelope sender, then the date as asctime
// gives it ("Tue Dec  8 19:31:08 2026"). A sender's line that begins with "From " seldom is one.
bool IsEnvelopeLine(std::string_view line) {
    if (line.substr(0, 5) != "From ") return false;
    size_t at = line.find_first_of(" \t", 5);
    if (at == std::string_view::npos || at == 5 || (at = line.find_first_not_of(" \t", at)) == std::string_view::npos)
        return false;
    const std::string_view date = line.substr(at);
    constexpr std::string_view DAYS = "MonTueWedThuFriSatSun", MONTHS = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (date.size() < 8 || date[3] != ' ' || date[7] != ' ') return false;
    const size_t day = DAYS.find(date.substr(0, 3)), month = MONTHS.find(date.substr(4, 3));
    return day != std::string_view::npos && day % 3 == 0 && month != std::string_view::npos && month % 3 == 0;
}

// Whether a body that ends at end ends its message: the next message's "From " line (at the
// start of a line, with an envelope sender and date) or the end of the mbox follows, right
// there or after one line end (next: where). NeedsMore: the bytes that tell are not all read yet.
enum class BodyEnd { Holds, Fails, NeedsMore };
BodyEnd CheckBodyEnd(std::string_view buffer, size_t end, bool atEnd, size_t& next) {
    if (end > buffer.size()) return atEnd ? BodyEnd::Fails : BodyEnd::NeedsMore;
    for (const std::string_view lineEnd : {std::string_view(), std::string_view("\n"), std::string_view("\r\n")}) {
        const size_t at = end + lineEnd.size();
        if (buffer.size() < at + 5 && !atEnd) return BodyEnd::NeedsMore;
        if (buffer.substr(end, lineEnd.size()) != lineEnd || (lineEnd.empty() && end > 0 && buffer[end - 1] != '\n')) continue;
        if (at == buffer.size()) {
            next = at;
            return BodyEnd::Holds;
        }
        // The next message's "From " line, as a real one is (its first kilobyte tells): a
        // sender's would not do.
        const std::string_view head = buffer.substr(at, 1024);
        const size_t lf = head.find('\n');
        if (lf == std::string_view::npos && head.size() < 1024 && !atEnd) return BodyEnd::NeedsMore;
        if (IsEnvelopeLine(head.substr(0, lf))) {
            next = at;
            return BodyEnd::Holds;
        }
    }
    return BodyEnd::Fails;
}

}  // namespace

bool ForEachMboxMessage(std::istream& in, const std::function<void(std::string_view, std::string_view, bool)>& each) {
    std::string buffer;
    std::string fromLine;                 // of the current message; empty before the first one
    size_t start = 0;                     // where the current message starts in buffer
    size_t line = 0;                      // where the next line to look at begins
    size_t searched = 0;                  // how far from line on no LF was found
    bool inHeader = false;                // of the current message
    size_t declared = std::string::npos;  // its Content-Length
    size_t bodyEnd = std::string::npos;   // where that says its body ends, until that is found wrong
    bool atEnd = false;
    // The current message ends at end; quoted: its lines are as mboxrd writes them, unless its
    // Content-Length ended it, as writers that give one write (mboxcl2, Dovecot).
    const auto emit = [&](size_t end, bool quoted) {
        if (!fromLine.empty() || end > start) each(fromLine, std::string_view(buffer).substr(start, end - start), quoted);
        fromLine.clear();
        start = end;
        declared = bodyEnd = std::string::npos;
    };
    for (;;) {
        for (;;) {
            const size_t lf = buffer.find('\n', std::max(line, searched));
            if (bodyEnd != std::string::npos && (lf == std::string::npos || bodyEnd <= lf)) {
                // The body ends where its Content-Length says when the next message or the end
                // of the mbox follows there; else its lines tell where it ends.
                size_t next = 0;
                const BodyEnd check = CheckBodyEnd(buffer, bodyEnd, atEnd, next);
                if (check == BodyEnd::NeedsMore) {
                    if (lf == std::string::npos) searched = buffer.size();
                    break;
                }
                bodyEnd = std::string::npos;
                if (check == BodyEnd::Holds) {
                    emit(next, false);
                    line = searched = next;
                    inHeader = false;
                    continue;
                }
            }
            if (lf == std::string::npos) {
                searched = buffer.size();
                break;
            }
            const std::string_view text = std::string_view(buffer).substr(line, lf + 1 - line);
            // In a message that gives a Content-Length, only a real "From " line (an envelope
            // sender and date) ends it before its length does.
            if (IsFromLine(buffer, line) && (declared == std::string::npos || IsEnvelopeLine(text))) {
                emit(line, true);
                fromLine = text;
                start = lf + 1;
                inHeader = true;
            } else if (inHeader && (text == "\n" || text == "\r\n")) {
                inHeader = false;
                if (declared != std::string::npos) bodyEnd = lf + 1 + declared;
            } else if (inHeader) {
                if (const std::optional<size_t> length = ContentLengthOf(text)) declared = *length;
            }
            line = searched = lf + 1;
        }
        if (atEnd) break;
        // The message read so far moves to the front; the next piece follows it.
        buffer.erase(0, start);
        line -= start;
        searched -= start;
        if (bodyEnd != std::string::npos) bodyEnd -= start;
        start = 0;
        const size_t size = buffer.size();
        buffer.resize(size + PIECE);
        in.read(buffer.data() + size, static_cast<std::streamsize>(PIECE));
        buffer.resize(size + static_cast<size_t>(in.gcount()));
        atEnd = in.gcount() == 0;
    }
    if (in.bad()) return false;
    emit(buffer.size(), true);
    return true;
}

std::string UnquoteMboxLines(std::string_view message) {
    return MapLines(message, [](std::string& out, std::string_view line) {
        out.append(IsQuotedFromLine(line) ? line.substr(1) : line);
    });
}

std::string QuoteEnvelopeLines(std::string_view message) {
    return MapLines(message, [](std::string& out, std::string_view line) {
        if (IsEnvelopeLine(line)) out.push_back('>');
        out.append(line);
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

namespace {

// Where the header line that begins with name (in any case) stands in message, from its start
// to its line end; nothing when the header block holds none.
std::optional<std::pair<size_t, size_t>> FindMboxHeaderLine(std::string_view message, std::string_view name) {
    const std::string_view lineEnd = LineEndOf(message);
    for (size_t at = 0; at < message.size();) {
        const size_t end = std::min(message.find(lineEnd, at), message.size());
        if (end == at) return std::nullopt;  // the blank line that ends the header block
        if (StartsWithIgnoringCase(message.substr(at, end - at), name)) return std::make_pair(at, end);
        at = end + lineEnd.size();
    }
    return std::nullopt;
}

}  // namespace

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
    if (const auto line = FindMboxHeaderLine(text, "Content-Length:"))
        message.replace(line->first, line->second - line->first, "Content-Length: " + std::to_string(bodyEnd - bodyStart));
}

void RemoveUidHeader(std::string& message) {
    if (const auto line = FindMboxHeaderLine(message, "X-UID:"))
        message.erase(line->first, std::min(line->second + LineEndOf(message).size(), message.size()) - line->first);
}
