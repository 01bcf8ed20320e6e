#include "mime/mime_tree.h"

#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace {

constexpr size_t NONE = std::string_view::npos;

class TreeReader {
public:
    TreeReader(std::string_view message, MimeTree& tree) : m_message(message), m_tree(tree) {}

    // The entity that begins at start, read into the tree; where it ends: at the delimiter line
    // of an open boundary that follows it, or at the message's end.
    size_t ReadEntity(size_t start, int depth, size_t delimiterEndSize);

private:
    // The open boundary, innermost first, that a delimiter line beginning at pos has; NONE when
    // no line begins there or it is no delimiter.
    size_t DelimiterAt(size_t pos) const;
    // The start of the first delimiter line at or after from, or the message's size.
    size_t NextDelimiter(size_t from) const;
    // The header block from start: where its blank line begins (NONE without one) and where the
    // entity ends when a delimiter line comes first (else NONE).
    void ReadHeader(size_t start, size_t& blank, size_t& end) const;
    // The body of the multipart entity at index, from start; where the entity ends.
    size_t ReadMultipartBody(size_t index, size_t start, const std::string& boundary);
    // The innermost open boundary is done with.
    void Close();

    std::string_view m_message;
    MimeTree& m_tree;
    std::vector<std::string_view> m_open;  // the boundaries of the multipart entities open, outermost first
    // How many open boundaries begin with each byte: most lines that begin with "--" (rules,
    // signatures, an attachment of hyphens) are told from every delimiter by their third byte.
    uint32_t m_openStarts[256] = {};
};

size_t TreeReader::DelimiterAt(size_t pos) const {
    if (m_open.empty() || (pos > 0 && m_message[pos - 1] != '\n') || m_message.compare(pos, 2, "--") != 0 ||
        pos + 2 >= m_message.size() || m_openStarts[static_cast<unsigned char>(m_message[pos + 2])] == 0)
        return NONE;
    const std::string_view line = m_message.substr(pos + 2);
    for (size_t i = m_open.size(); i-- > 0;)
        if (line.compare(0, m_open[i].size(), m_open[i]) == 0) return i;
    return NONE;
}

size_t TreeReader::NextDelimiter(size_t from) const {
    if (m_open.empty()) return m_message.size();
    for (size_t at = FindLineBeginning(m_message, "--", from); at != NONE; at = FindLineBeginning(m_message, "--", at + 1))
        if (DelimiterAt(at) != NONE) return at;
    return m_message.size();
}

// Line by line, so that a part without a blank line is not searched past its end: the blank
// line is the first CR LF CR LF of the entity, as SplitHeaderAndBody finds it.
void TreeReader::ReadHeader(size_t start, size_t& blank, size_t& end) const {
    blank = end = NONE;
    // Outside every multipart entity no delimiter can end it: searched for at once.
    if (m_open.empty()) {
        blank = FindBytes(m_message, "\r\n\r\n", start);
        return;
    }
    for (size_t line = start; line < m_message.size();) {
        if (DelimiterAt(line) != NONE) {
            end = line;
            return;
        }
        if (line >= start + 2 && m_message.compare(line - 2, 4, "\r\n\r\n") == 0) {
            blank = line - 2;
            return;
        }
        const size_t lf = m_message.find('\n', line);
        if (lf == NONE) return;
        line = lf + 1;
    }
}

size_t TreeReader::ReadEntity(size_t start, int depth, size_t delimiterEndSize) {
    const size_t index = m_tree.size();
    m_tree.emplace_back();
    m_tree[index].depth = static_cast<uint8_t>(depth);
    size_t blank, end;
    ReadHeader(start, blank, end);
    const size_t headerEnd = blank != NONE ? blank + 2 : end != NONE ? end : m_message.size();
    std::string boundary;  // of a multipart entity
    if (depth < MAX_MIME_DEPTH) {
        const EntityKind kind = ClassifyEntity(SplitHeaderLines(m_message.substr(start, headerEnd - start)));
        m_tree[index].media = kind.media;
        m_tree[index].related = kind.related;
        boundary = kind.boundary;
    }
    if (blank == NONE)
        end = end == NONE ? m_message.size() : end;
    else if (m_tree[index].media == MediaKind::Multipart)
        end = ReadMultipartBody(index, blank + 4, boundary);
    else
        end = NextDelimiter(blank + 4);
    MimeEntity& entity = m_tree[index];
    entity.text = m_message.substr(start, end - start);
    entity.headerSize = static_cast<uint32_t>(headerEnd - start);
    entity.bodyStart = static_cast<uint32_t>(blank == NONE ? entity.text.size() : blank + 4 - start);
    entity.delimiterEndSize = static_cast<uint32_t>(delimiterEndSize);
    entity.end = static_cast<uint32_t>(m_tree.size());
    return end;
}

size_t TreeReader::ReadMultipartBody(size_t index, size_t start, const std::string& boundary) {
    m_open.push_back(boundary);
    ++m_openStarts[static_cast<unsigned char>(boundary[0])];
    const size_t own = m_open.size() - 1;
    const int depth = m_tree[index].depth;
    size_t at = NextDelimiter(start);
    m_tree[index].preambleSize = static_cast<uint32_t>(at - start);
    while (at < m_message.size() && DelimiterAt(at) == own) {
        const size_t after = at + 2 + boundary.size();
        if (m_message.compare(after, 2, "--") == 0) {
            Close();
            const size_t end = NextDelimiter(after + 2);
            m_tree[index].closed = true;
            m_tree[index].epilogueSize = static_cast<uint32_t>(end - after - 2);
            return end;
        }
        // The delimiter line's own end: blanks (transport padding) and its CR LF.
        size_t textStart = after;
        while (textStart < m_message.size() && IsBlank(m_message[textStart])) ++textStart;
        textStart = m_message.compare(textStart, 2, "\r\n") == 0 ? textStart + 2 : after;
        at = ReadEntity(textStart, depth + 1, textStart - after);
    }
    Close();
    return at;
}

void TreeReader::Close() {
    --m_openStarts[static_cast<unsigned char>(m_open.back()[0])];
    m_open.pop_back();
}

}  // namespace

MimeTree ReadMimeTree(std::string_view message) {
    MimeTree tree;
    // Its sizes are kept in 32 bits: a part may come every few bytes.
    if (message.size() > UINT32_MAX) {
        tree.push_back({});
        tree[0].text = message;
        tree[0].headerSize = tree[0].bodyStart = 0;
        tree[0].end = 1;
        return tree;
    }
    TreeReader(message, tree).ReadEntity(0, 0, 0);
    return tree;
}

EntityKind KindOf(const MimeEntity& entity) {
    if (entity.media == MediaKind::Other) return {};
    return ClassifyEntity(SplitHeaderLines(entity.Header()));
}
