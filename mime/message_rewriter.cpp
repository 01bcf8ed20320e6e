#include "mime/message_rewriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

#include "base/bytes.h"
#include "mime/entity_kind.h"
#include "mime/html_part.h"
#include "mime/related_images.h"
#include "mime/text_part.h"
#include "platform/guid.h"
#include "render/pictograph_map.h"
#include "render/text_to_html.h"

namespace {

constexpr std::string_view CRLF = "\r\n";
// Entities nested this deep in multipart entities are left as they are.
constexpr int MAX_DEPTH = 64;

// An alternative boundary of ours: these around a GUID's 32 hexadecimal digits.
constexpr std::string_view BOUNDARY_HEAD = "--------_", BOUNDARY_TAIL = "_MULTIPART_ALTERNATIVE_";

// When the platform has no GUID to give: random bits mixed with a count and the clock, so
// that boundaries still differ.
Guid FallbackGuid() {
    static uint64_t count = 0;
    uint64_t state = ++count ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        state ^= static_cast<uint64_t>(std::random_device()()) << 32;
    } catch (...) {
    }
    const auto next = [&state] {  // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const uint64_t high = next(), low = next();
    Guid guid;
    guid.data1 = static_cast<uint32_t>(high >> 32);
    guid.data2 = static_cast<uint16_t>(high >> 16);
    guid.data3 = static_cast<uint16_t>(high);
    for (int i = 0; i < 8; ++i) guid.data4[i] = static_cast<uint8_t>(low >> (8 * i));
    return guid;
}

void AppendMultipartBody(std::string& out, const MultipartBody& layout, const PartList& parts,
                         std::string_view boundary) {
    size_t size = out.size() + layout.preamble.size() + layout.epilogue.size() + boundary.size() + 8;
    for (size_t i = 0; i < parts.size(); ++i) size += boundary.size() + 2 + layout.delimiterEnds[i].size() + parts[i].size();
    out.reserve(size);
    out.append(layout.preamble);
    for (size_t i = 0; i < parts.size(); ++i)
        out.append("--").append(boundary).append(layout.delimiterEnds[i]).append(parts[i]);
    out.append("--").append(boundary).append("--");
    out.append(layout.closed ? layout.epilogue : CRLF);
}

// The media type of a part, from its Content-Type.
std::string GetPartType(std::string_view part) {
    return std::string(GetMediaType(GetHeaderValue(SplitHeaderLines(SplitHeaderAndBody(part).header), "Content-Type")));
}

// A part of this media type may come out larger than it went in at the rate of the texts: a
// text. A multipart entity reckons with its own texts when it is written.
bool MayGrow(std::string_view media) { return media.empty() || StartsWithIgnoringCase(media, "text/"); }

// The text parts of a multipart body converted so far: their bytes in and out.
struct GrowthSeen {
    size_t in = 0;
    size_t out = 0;
};

// Before part, at pos in frame.parts, is written: only when it would not fit at the rate
// the texts so far have shown (and an eighth more) does out grow, by what it and the parts
// after it are expected to give: texts at that rate, other parts as they are. A converted
// text is thus not taken for the rate of the attachment after it.
void ReserveForPart(std::string& out, const MultipartFrame& frame, size_t pos, const BodyPart& part, std::string_view opening,
                    const GrowthSeen& seen) {
    // A first part that is a text or holds one (as the body of a mail mostly is) makes its own
    // room and tells the rate: room for all the rest guessed before it would be held beside the
    // room made at the true rate.
    if (pos == 0) {
        const std::string media = GetPartType(part.text);
        if (MayGrow(media) || StartsWithIgnoringCase(media, "multipart/")) return;
    }
    const double rate = seen.in == 0 ? 1.0 : std::max(1.0, static_cast<double>(seen.out) / static_cast<double>(seen.in) * 1.125);
    const size_t room = out.capacity() - out.size();
    if (room >= opening.size() + part.delimiterEnd.size() + static_cast<size_t>(static_cast<double>(part.text.size()) * rate))
        return;
    double expected = static_cast<double>(frame.epilogue.size() + 2 * opening.size() + 2);
    for (size_t at = pos; at != std::string_view::npos;) {
        const BodyPart ahead = NextPart(frame.parts, opening, at);
        expected += static_cast<double>(opening.size() + ahead.delimiterEnd.size()) +
                    static_cast<double>(ahead.text.size()) * (rate > 1.0 && MayGrow(GetPartType(ahead.text)) ? rate : 1.0);
    }
    if (room < static_cast<size_t>(expected)) ReserveMore(out, static_cast<size_t>(expected));
}

// A sender's HTML entity with its images in place, appended to out; false, with out as it
// was, when it shows none. Images carried as parts go to the multipart/related entity around
// it (related), or, where there is none, into one made around the entity: its Content- header
// lines move into it, the others stay outside.
bool AppendHtmlEntity(std::string& out, std::string_view source, const HeaderAndBody& split, const HeaderLines& lines,
                      const EntityKind& kind, bool topLevel, MessageHtml& shared, RelatedImages* related) {
    RelatedImages own;
    const std::optional<std::string> body = ConvertHtmlBody(kind, split.body, shared.carrier, related ? *related : own, shared.lastRelated);
    if (!body) return false;
    if (related || own.ids.empty()) {
        // Its header lines stay as they came (with the marker at the top level).
        if (topLevel)
            AppendHeaderLines(out, lines);
        else
            out.append(source.substr(0, split.header.size())).append(CRLF);
        out.append(*body);
        return true;
    }
    HeaderLines outside, inside;
    bool content = false;
    for (const std::string_view line : lines) {
        if (!IsContinuationLine(line)) content = StartsWithIgnoringCase(line, "Content-");
        (content ? inside : outside).push_back(line);
    }
    const std::string boundary = MakeRelatedBoundary();
    const std::string type = RelatedContentType(boundary);
    outside.push_back(type);
    AppendHeaderLines(out, outside);
    out.append("--").append(boundary).append(CRLF);
    AppendHeaderLines(out, inside);
    // The CR LF before a delimiter belongs to it: the body's last one serves, as it did
    // before the delimiter that followed the entity.
    out.append(*body);
    if (body->size() < CRLF.size() || body->compare(body->size() - CRLF.size(), CRLF.size(), CRLF) != 0) out.append(CRLF);
    AppendImageParts(out, own.ids, "--" + boundary);
    out.append("--").append(boundary).append("--").append(CRLF);
    return true;
}

// The entity appended to out: rewritten when changed is set, else byte for byte as it came
// (at the top level with the marker, once the message is to be marked). Every entity of the
// tree is written once, straight into out, which grows at the rate seen so far. related: the
// images that the multipart/related entity around it is to carry, if there is one.
void AppendEntity(std::string& out, std::string_view source, MessageHtml& shared, bool topLevel, bool& changed, int depth,
                  size_t tail, RelatedImages* related) {
    if (depth >= MAX_DEPTH) {
        AppendGrowing(out, source);
        return;
    }
    const HeaderAndBody split = SplitHeaderAndBody(source);
    HeaderLines lines = SplitHeaderLines(split.header);
    if (topLevel) SetHeader(lines, MARKER_HEADER, MARKER_LINE);
    const auto appendUnconverted = [&] {
        if (topLevel) {
            changed = true;
            ReserveMore(out, source.size() + sizeof MARKER_LINE + 4);
            AppendHeaderLines(out, lines);
            out.append(split.body);
        } else {
            AppendGrowing(out, source);
        }
    };

    const EntityKind kind = ClassifyEntity(lines);
    switch (kind.media) {
        case MediaKind::PlainText:
            if (AppendConvertedTextEntity(out, kind, lines, split.body, shared, tail))
                changed = true;
            else
                appendUnconverted();
            return;
        case MediaKind::Html:
            if (!AppendHtmlEntity(out, source, split, lines, kind, topLevel, shared, related)) break;
            changed = true;
            return;
        case MediaKind::Multipart: {
            const std::string delimiter = "--" + kind.boundary;
            const MultipartFrame frame = FrameMultipartBody(split.body, delimiter);
            const size_t entityStart = out.size();
            AppendHeaderLines(out, lines);
            // Not kept while the parts are written, as many levels deep as they go.
            HeaderLines().swap(lines);
            const size_t bodyStart = out.size();
            // What this entity writes after its last part.
            const size_t closing = delimiter.size() + 2 + (frame.closed ? frame.epilogue.size() : CRLF.size());
            bool found = false;
            GrowthSeen seen;
            // A multipart/related entity carries the images its parts show as parts of its own.
            RelatedImages ownImages;
            RelatedImages* images = kind.related ? &ownImages : related;
            out.append(frame.preamble);
            for (size_t pos = frame.parts.empty() ? std::string_view::npos : 0; pos != std::string_view::npos;) {
                const size_t partPos = pos;
                const BodyPart part = NextPart(frame.parts, delimiter, pos);
                ReserveForPart(out, frame, partPos, part, delimiter, seen);
                out.append(delimiter).append(part.delimiterEnd);
                const size_t partStart = out.size();
                bool partChanged = false;
                const size_t imagesBefore = images ? images->ids.size() : 0;
                AppendEntity(out, part.text, shared, false, partChanged, depth + 1, tail + closing, images);
                found |= partChanged;
                if (partChanged) {
                    seen.in += part.text.size();
                    seen.out += out.size() - partStart;
                }
                // A decoded text, or the host's re-encoding of one, may hold this entity's own
                // delimiter: written back, it would cut the part in two. Such a part stays.
                if (partChanged && out.find(delimiter, partStart) != std::string::npos) {
                    out.resize(partStart);
                    out.append(part.text);
                    if (images) images->ids.resize(imagesBefore);
                }
            }
            if (!ownImages.ids.empty()) {
                // Each delimiter begins a line.
                if (std::string_view(out).substr(out.size() - std::min(out.size(), CRLF.size())) != CRLF) out.append(CRLF);
                AppendImageParts(out, ownImages.ids, delimiter);
            }
            out.append(delimiter).append("--").append(frame.closed ? frame.epilogue : CRLF);
            if (found) {
                changed = true;
                return;
            }
            // Nothing changed: the message is only marked, and any other entity stays as it
            // came. What was written is that when the body was closed and, below the top
            // level, the header block is its own; otherwise it is written again.
            if (topLevel) {
                changed = true;
                if (frame.closed) return;
                out.resize(bodyStart);
                out.append(split.body);
                return;
            }
            const size_t headerSize = bodyStart - entityStart;
            if (frame.closed && static_cast<size_t>(split.body.data() - source.data()) == headerSize &&
                std::string_view(out).substr(entityStart, headerSize) == source.substr(0, headerSize))
                return;
            out.resize(entityStart);
            AppendGrowing(out, source);
            return;
        }
        case MediaKind::Other: break;
    }
    AppendGrowing(out, source);
}

}  // namespace

std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel, bool& changed,
                           CarrierCode carrier) {
    // Each entity makes the room it needs as it is written: a text once it knows how long its
    // HTML is, a multipart body for itself and then at the rate of its texts.
    std::string out;
    MessageHtml shared{subject, carrier, 0, {}, {}, {}, {}, {}, {}, {}};
    // Images of ours could not be told from the sender's: the message stays as it is.
    if (SelectPictographMap(carrier).Embedded() && HoldsImageContentId(source)) return std::string(source);
    AppendEntity(out, source, shared, topLevel, changed, 0, 0, nullptr);
    return out;
}

std::string MakeAlternativeBoundary() {
    Guid guid;
    if (!CreateGuid(guid)) guid = FallbackGuid();
    // The GUID's fields in hexadecimal, as "%08x%04x%04x" and eight "%02x" would write them.
    uint8_t bytes[16] = {static_cast<uint8_t>(guid.data1 >> 24), static_cast<uint8_t>(guid.data1 >> 16),
                         static_cast<uint8_t>(guid.data1 >> 8),  static_cast<uint8_t>(guid.data1),
                         static_cast<uint8_t>(guid.data2 >> 8),  static_cast<uint8_t>(guid.data2),
                         static_cast<uint8_t>(guid.data3 >> 8),  static_cast<uint8_t>(guid.data3)};
    std::memcpy(bytes + 8, guid.data4, 8);
    char boundary[BOUNDARY_HEAD.size() + 32 + BOUNDARY_TAIL.size()];
    char* at = std::copy(BOUNDARY_HEAD.begin(), BOUNDARY_HEAD.end(), boundary);
    for (const uint8_t byte : bytes) {
        *at++ = "0123456789abcdef"[byte >> 4];
        *at++ = "0123456789abcdef"[byte & 15];
    }
    std::copy(BOUNDARY_TAIL.begin(), BOUNDARY_TAIL.end(), at);
    return std::string(boundary, sizeof boundary);
}

bool IsAlternativeBoundary(std::string_view boundary) {
    return boundary.size() == 64 && boundary.substr(0, BOUNDARY_HEAD.size()) == BOUNDARY_HEAD &&
           boundary.substr(64 - BOUNDARY_TAIL.size()) == BOUNDARY_TAIL &&
           boundary.substr(BOUNDARY_HEAD.size(), 32).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

void SetHeader(HeaderLines& lines, std::string_view name, std::string_view line) {
    bool removed = false;
    RemoveHeaderLines(lines, [&](const HeaderLines& all, size_t i) {
        if (removed || !IsHeaderLine(all[i], name)) return false;
        return removed = true;
    });
    lines.push_back(line);
}

void AppendHeaderLines(std::string& out, const HeaderLines& lines) {
    size_t size = CRLF.size();
    for (const std::string_view line : lines) size += line.size() + CRLF.size();
    ReserveMore(out, size);
    for (const std::string_view line : lines) out.append(line).append(CRLF);
    out.append(CRLF);
}

std::string JoinMultipartBody(const MultipartBody& layout, const PartList& parts, std::string_view boundary) {
    std::string out;
    AppendMultipartBody(out, layout, parts, boundary);
    return out;
}
