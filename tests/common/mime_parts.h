// The parts of an entity read on its own, for tests that walk a converted message.
#pragma once

#include <string_view>
#include <vector>

#include "mime/mime_tree.h"

// The texts of the parts of a multipart entity, in order; none for any other entity.
inline std::vector<std::string_view> PartTextsOf(std::string_view entity) {
    const MimeTree tree = ReadMimeTree(entity);
    std::vector<std::string_view> parts;
    for (size_t part = FirstPart(0); part < tree[0].end; part = tree[part].end) parts.push_back(tree[part].text);
    return parts;
}
