// A message taken apart in one pass over its lines: every entity's header and body and kind,
// and for a multipart entity its preamble, parts and epilogue, every byte kept. A line that
// begins with "--" and the boundary of an open multipart entity is a delimiter of the
// innermost entity whose boundary it begins with (as MIME nests them); "--" after the
// boundary makes it a closing one. Each line is compared once with the boundaries open where
// it stands, and only with those that begin with its third byte: a line of hyphens or text
// costs the same at any depth.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mime/entity_kind.h"
#include "mime/mime_reader.h"

// Entities nested this deep in multipart entities are bytes, not entities: their kind is Other.
constexpr int MAX_MIME_DEPTH = 64;

// Kept small, for a message may have a part every few bytes: views and sizes into the
// message, and the media kind alone (KindOf reads the rest again where it is needed).
struct MimeEntity {
    std::string_view text;  // its header block and body: as a part, up to the line end before the next delimiter
    // Within text: the header block (the CR LF of its last line kept), and where the body
    // begins: after the blank line, or at the end without one.
    uint32_t headerSize = 0;
    uint32_t bodyStart = 0;
    uint32_t delimiterEndSize = 0;  // as a part: what followed the boundary of the delimiter before it (blanks, CR LF)
    // As a multipart entity: its body's bytes before the first delimiter, and after the closing
    // one; its parts are the entities after it in the tree up to end.
    uint32_t preambleSize = 0;
    uint32_t epilogueSize = 0;
    uint32_t end = 0;  // the index after its last descendant
    uint8_t depth = 0;
    MediaKind media = MediaKind::Other;
    bool related = false;  // multipart/related
    bool closed = false;   // a closing delimiter ends its body

    [[nodiscard]] std::string_view Header() const { return text.substr(0, headerSize); }
    [[nodiscard]] std::string_view Body() const { return text.substr(bodyStart); }
    [[nodiscard]] std::string_view DelimiterEnd() const { return {text.data() - delimiterEndSize, delimiterEndSize}; }
    [[nodiscard]] std::string_view Preamble() const { return text.substr(bodyStart, preambleSize); }
    [[nodiscard]] std::string_view Epilogue() const { return text.substr(text.size() - epilogueSize); }
};

// Depth first: an entity, then each of its parts with theirs. tree[0] is the message.
using MimeTree = std::vector<MimeEntity>;

// A message of 4 GiB or more is one entity of kind Other.
[[nodiscard]] MimeTree ReadMimeTree(std::string_view message);
// The tree's views would outlive a message given as a temporary.
MimeTree ReadMimeTree(std::string&&) = delete;

// What an entity of the tree is (its boundary, charset, transfer encoding, ...): Other for one
// nested MAX_MIME_DEPTH deep.
[[nodiscard]] EntityKind KindOf(const MimeEntity& entity);

// The parts of tree[index], in order: for (size_t part = FirstPart(index); part < tree[index].end; part = tree[part].end)
[[nodiscard]] inline size_t FirstPart(size_t index) { return index + 1; }

