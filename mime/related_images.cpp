#include "mime/related_images.h"

#include <algorithm>

#include "base/bytes.h"
#include "mime/message_rewriter.h"
#include "mime/transfer_encoding.h"
#include "render/pictograph_map.h"

namespace {

constexpr std::string_view CRLF = "\r\n";
constexpr std::string_view REFERENCE = "<img src=\"cid:";

// The image of a Content-ID of ours ("docomo.F89F.gif@..."), or null.
const std::string* ImageOf(std::string_view id, std::string_view& name) {
    const size_t dot = id.find('.');
    if (dot == std::string_view::npos || id.size() < dot + 1 + 8) return nullptr;
    const std::string_view carrier = id.substr(0, dot);
    name = id.substr(dot + 1, 8);
    const PictographMap* map = carrier == "au" ? &g_mapAU : carrier == "docomo" ? &g_mapDocomo : carrier == "softbank" ? &g_mapSoftbank : nullptr;
    if (!map || ImageContentId(carrier, name) != id) return nullptr;
    unsigned code = 0;
    for (const char c : name.substr(0, 4)) {
        const int digit = HexDigitValue(static_cast<unsigned char>(c));
        if (digit < 0) return nullptr;
        code = code << 4 | static_cast<unsigned>(digit);
    }
    return map->Image(static_cast<uint16_t>(code));
}

}  // namespace

void FindImageReferences(std::string_view html, std::vector<std::string>& ids) {
    for (size_t at = html.find(REFERENCE); at != std::string_view::npos; at = html.find(REFERENCE, at + 1)) {
        const size_t start = at + REFERENCE.size(), end = html.find('"', start);
        if (end == std::string_view::npos) return;
        const std::string_view id = html.substr(start, end - start);
        std::string_view name;
        if (ImageOf(id, name) && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.emplace_back(id);
    }
}

void AppendImageParts(std::string& out, const std::vector<std::string>& ids, std::string_view delimiter,
                      std::vector<std::string>& carried) {
    for (const std::string& id : ids) {
        std::string_view name;
        const std::string* gif = ImageOf(id, name);
        if (!gif || std::find(carried.begin(), carried.end(), id) != carried.end()) continue;
        carried.push_back(id);
        const std::string base64 = EncodeBase64(*gif);
        ReserveMore(out, base64.size() + id.size() + 256);
        out.append(delimiter).append(CRLF);
        out.append("Content-Type: image/gif; name=\"").append(name).append("\"").append(CRLF);
        out.append("Content-Transfer-Encoding: base64").append(CRLF);
        out.append("Content-ID: <").append(id).append(">").append(CRLF);
        out.append("Content-Disposition: inline; filename=\"").append(name).append("\"").append(CRLF).append(CRLF);
        out.append(base64);
    }
}

std::string MakeRelatedBoundary() {
    std::string boundary = MakeAlternativeBoundary();
    constexpr std::string_view ALTERNATIVE = "_MULTIPART_ALTERNATIVE_";
    return boundary.replace(boundary.size() - ALTERNATIVE.size(), ALTERNATIVE.size(), "_MULTIPART_RELATED_");
}

std::string RelatedContentType(std::string_view boundary) {
    return "Content-Type: multipart/related; boundary=\"" + std::string(boundary) + "\"; type=\"text/html\"";
}
