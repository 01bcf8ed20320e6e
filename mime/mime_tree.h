// A message taken apart in one pass over its lines: every entity's header and body and kind,
// and for a multipart entity its preamble, parts and epilogue, every byte kept. A line that
// begins with "--" and the boundary of an open multipart entity is a delimiter of the
// innermost entity whose boundary it begins with (as MIME nests them); "--" after the
// boundary makes it a closing one. Each line is compared once with the boundaries open where
// it stands, so the cost does not grow with the depth of the message.
#pragma once

#include <string_view>
#include <vector>

#include "mime/entity_kind.h"
#include "mime/mime_reader.h"

// Entities nested this deep in multipart entities are bytes, not entities: their kind is Other.
constexpr int MAX_MIME_DEPTH = 64;

struct MimeEntity {
    std::string_view text;  // its header block and body: as a part, up to the line end before the next delimiter
    HeaderAndBody split;
    EntityKind kind;
    int depth = 0;
    // As a part: what followed the boundary of the delimiter before it (blanks and CR LF).
    std::string_view delimiterEnd;
    // As a multipart entity: its body's bytes before the first delimiter, whether a closing
    // delimiter ends it, and the bytes after that; its parts are the entities after it in the
    // tree up to end.
    std::string_view preamble;
    bool closed = false;
    std::string_view epilogue;
    size_t end = 0;  // the index after its last descendant
};

// Depth first: an entity, then each of its parts with theirs. tree[0] is the message.
using MimeTree = std::vector<MimeEntity>;

[[nodiscard]] MimeTree ReadMimeTree(std::string_view message);

// The parts of tree[index], in order: for (size_t part = FirstPart(index); part < tree[index].end; part = tree[part].end)
[[nodiscard]] inline size_t FirstPart(size_t index) { return index + 1; }

// The texts of the parts of a multipart entity, in order; none for any other entity.
[[nodiscard]] std::vector<std::string_view> PartTextsOf(std::string_view entity);
