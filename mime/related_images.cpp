#include "mime/related_images.h"

#include <algorithm>

#include "base/bytes.h"
#include "platform/buffer_growth.h"
#include "mime/mime_reader.h"
#include "mime/transfer_encoding.h"
#include "render/pictograph_map.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// The image of a Content-ID of ours ("docomo.F89F.gif@..." or "docomo.F89F.gif.2@..."), or
// null; name: the image's file name.
const std::string* ImageOf(std::string_view id, std::string_view& name) {
    const size_t dot = id.find('.'), at = id.find('@');
    if (dot == std::string_view::npos || at == std::string_view::npos || at < dot + 1 + 8) return nullptr;
    const std::string_view carrier = id.substr(0, dot), number = id.substr(dot + 9, at - dot - 9);
    name = id.substr(dot + 1, 8);
    if (id.substr(at) != IMAGE_CONTENT_ID_DOMAIN) return nullptr;
    if (!number.empty() && (number.front() != '.' || number.size() == 1 ||
                            number.find_first_not_of("0123456789", 1) != std::string_view::npos))
        return nullptr;
    const PictographMap* map = PictographMapOf(carrier);
    const std::optional<uint16_t> code = CodeOfImageName(name);
    return map && code ? map->Image(*code) : nullptr;
}

}  // namespace

void TakeImageReferences(std::string& text, size_t from, RelatedImages& images, int& last) {
    std::string renamed;  // text from from on, once a reference is renamed
    size_t copied = from;
    // A reference of ours: a tag whose URL begins with "cid:".
    for (size_t at = text.find(IMAGE_TAG_OPENING, from); at != std::string::npos; at = text.find(IMAGE_TAG_OPENING, at + 1)) {
        if (text.compare(at + IMAGE_TAG_OPENING.size(), 4, "cid:") != 0) continue;
        const size_t start = at + IMAGE_TAG_OPENING.size() + 4, end = text.find('"', start);
        if (end == std::string::npos) break;
        std::string id = text.substr(start, end - start);
        std::string_view name;
        // Only the IDs the tags give (no number after the name) are ours to take.
        if (!ImageOf(id, name) || id.find('@') != id.find('.') + 9) continue;
        if (images.number == 0) images.number = ++last;
        if (images.number > 1) {
            id.insert(id.find('@'), "." + std::to_string(images.number));
            renamed.append(text, copied, start - copied).append(id);
            copied = end;
        }
        if (std::find(images.ids.begin(), images.ids.end(), id) == images.ids.end()) images.ids.push_back(std::move(id));
    }
    if (copied == from) return;
    renamed.append(text, copied, std::string::npos);
    text.replace(from, std::string::npos, renamed);
}

size_t AppendImageParts(std::string& out, const std::vector<std::string>& ids, std::string_view delimiter) {
    const size_t start = out.size();
    for (const std::string& id : ids) {
        std::string_view name;
        const std::string* gif = ImageOf(id, name);
        if (!gif) continue;
        const std::string base64 = EncodeBase64(*gif);
        ReserveMore(out, base64.size() + id.size() + 256);
        out.append(delimiter).append(CRLF);
        out.append("Content-Type: image/gif; name=\"").append(name).append("\"").append(CRLF);
        out.append("Content-Transfer-Encoding: base64").append(CRLF);
        out.append("Content-ID: <").append(id).append(">").append(CRLF);
        out.append("Content-Disposition: inline; filename=\"").append(name).append("\"").append(CRLF).append(CRLF);
        out.append(base64);
    }
    return out.size() - start;
}

bool HoldsImageContentId(std::string_view message) {
    if (FindBytes(message, IMAGE_CONTENT_ID_DOMAIN) == std::string_view::npos) return false;
    // Each line once: a Content-ID header line (blanks may stand before its colon), or a line
    // that continues one, that holds the domain of ours.
    bool contentId = false;
    for (size_t at = 0; at < message.size();) {
        const size_t lf = message.find('\n', at);
        const std::string_view line = message.substr(at, lf == std::string_view::npos ? std::string_view::npos : lf - at);
        if (!IsContinuationLine(line)) {
            constexpr std::string_view NAME = "Content-ID";
            const size_t colon = StartsWithIgnoringCase(line, NAME) ? line.find_first_not_of(" \t", NAME.size()) : 0;
            contentId = colon != std::string_view::npos && colon >= NAME.size() && line[colon] == ':';
        }
        if (contentId && FindBytes(line, IMAGE_CONTENT_ID_DOMAIN) != std::string_view::npos) return true;
        if (lf == std::string_view::npos) break;
        at = lf + 1;
    }
    return false;
}

std::string RelatedContentType(std::string_view boundary) {
    return "Content-Type: multipart/related; boundary=\"" + std::string(boundary) + "\"; type=\"text/html\"";
}
