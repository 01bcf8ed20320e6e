// Rewrites arbitrary bytes as a message whose images are carried as its parts (cid:), and
// checks what a mail client relies on: every multipart/related
// entity carries exactly the images of ours that the texts in it refer to, each once, as the
// map's own GIF; no Content-ID of ours is given twice in the message.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/rewrite_input.h"
#include "host/mail_host.h"
#include "mime/entity_kind.h"
#include "mime/transfer_encoding.h"
#include "render/pictograph_map.h"
#include "shell/host_api.h"
#include "tests/common/mime_parts.h"

namespace {

struct Entity {
    EntityKind kind;
    HeaderLines lines;
    std::string_view body;
};

Entity ReadEntity(std::string_view text) {
    const HeaderAndBody split = SplitHeaderAndBody(text);
    HeaderLines lines = SplitHeaderLines(split.header);
    return {ClassifyEntity(lines), std::move(lines), split.body};
}

// Whether some entity's header gives two different types: a second one stays beside the one a
// conversion writes, and readers differ on which holds.
bool HoldsTwoTypes(std::string_view text, int depth) {
    const Entity entity = ReadEntity(text);
    const std::string type = GetHeaderValue(entity.lines, "Content-Type");
    for (size_t i = 0; i < entity.lines.size(); ++i)
        if (const std::optional<std::string> other = GetHeaderValueAt(entity.lines, i, "Content-Type"); other && *other != type)
            return true;
    if (depth > 70 || entity.kind.media != MediaKind::Multipart) return false;
    for (const std::string_view part : PartTextsOf(text))
        if (HoldsTwoTypes(part, depth + 1)) return true;
    return false;
}

// The Content-IDs of ours (the input holds none) that the texts of entity refer to, but for those within a
// multipart/related entity inside it, which carries its own.
void CollectReferences(std::string_view text, std::set<std::string>& referenced, int depth) {
    const Entity entity = ReadEntity(text);
    if (depth > 70 || entity.kind.related) return;
    if (entity.kind.media == MediaKind::Multipart) {
        for (const std::string_view part : PartTextsOf(text)) CollectReferences(part, referenced, depth + 1);
        return;
    }
    if (entity.kind.media == MediaKind::Other) return;
    std::string storage;
    const std::optional<std::string_view> decoded = DecodeText(entity.kind.encoding, entity.body, storage);
    if (!decoded) return;
    const std::string reference = std::string(IMAGE_TAG_OPENING) + "cid:";
    for (size_t at = decoded->find(reference); at != std::string_view::npos; at = decoded->find(reference, at + 1)) {
        const size_t start = at + reference.size(), end = decoded->find('"', start);
        if (end == std::string_view::npos) break;
        const std::string_view id = decoded->substr(start, end - start);
        if (id.size() > IMAGE_CONTENT_ID_DOMAIN.size() &&
            id.substr(id.size() - IMAGE_CONTENT_ID_DOMAIN.size()) == IMAGE_CONTENT_ID_DOMAIN)
            referenced.emplace(id);
    }
}

void CheckRelatedEntities(std::string_view text, std::set<std::string>& ids, int depth) {
    const Entity entity = ReadEntity(text);
    if (depth > 70 || entity.kind.media != MediaKind::Multipart) return;
    const std::vector<std::string_view> parts = PartTextsOf(text);
    if (entity.kind.related) {
        std::set<std::string> referenced, held;
        for (const std::string_view part : parts) {
            const Entity image = ReadEntity(part);
            const std::string id = GetHeaderValue(image.lines, "Content-ID");
            if (image.kind.media != MediaKind::Other || id.find(IMAGE_CONTENT_ID_DOMAIN) == std::string::npos) {
                CollectReferences(part, referenced, depth + 1);
                continue;
            }
            // "<carrier.CODE.gif[.N]@...>": the map's GIF of CODE, once in the message.
            Check(id.size() > 16 && id.front() == '<' && id.back() == '>' && id.compare(1, 7, "docomo.") == 0);
            const std::optional<uint16_t> code = CodeOfImageName(id.substr(8, 8));
            Check(code && g_mapDocomo.Image(*code));
            const std::optional<std::string> gif = DecodeBase64(image.body);
            Check(gif && *gif == *g_mapDocomo.Image(*code));
            Check(held.insert(id.substr(1, id.size() - 2)).second);
            Check(ids.insert(id).second);
        }
        Check(referenced == held);
    }
    for (const std::string_view part : parts) CheckRelatedEntities(part, ids, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        BindBuiltinHost(g_hostApi);
        // The first image is larger than one base64 line.
        const struct { uint16_t code; const char* name; const char* gif; } images[] = {
            {0xF89F, "F89F.gif", "GIF89a sun, a picture longer than one line of base64 of seventy-six characters"},
            {0xF8A0, "F8A0.gif", "GIF89a cloud"},    // U+2601
            {0xF660, "F660.gif", "GIF89a au 7541"},  // JIS 7541, "uA"
        };
        for (const auto& image : images)
            g_mapDocomo.Store(image.code, std::string(IMAGE_TAG_OPENING) + "cid:" + ImageContentId("docomo", image.name) + "\">",
                              image.gif);
        return true;
    }();
    (void)ready;
    const RewrittenInput input = RewriteInput(data, size);
    // A sender's own references of our form are the sender's to resolve.
    if (!input.changed || input.source.find(IMAGE_CONTENT_ID_DOMAIN) != std::string::npos || HoldsTwoTypes(input.out, 0))
        return 0;
    std::set<std::string> ids;
    CheckRelatedEntities(input.out, ids, 0);
    std::set<std::string> outside;  // references no multipart/related entity holds
    CollectReferences(input.out, outside, 0);
    Check(outside.empty());
    return 0;
}
