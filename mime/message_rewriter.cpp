#include "mime/message_rewriter.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "mime/entity_kind.h"
#include "mime/html_part.h"
#include "mime/text_part.h"
#include "platform/guid.h"

namespace {

constexpr std::string_view CRLF = "\r\n";
// Entities nested this deep in multipart entities are left as they are.
constexpr int MAX_DEPTH = 64;

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

// The header block of lines followed by body, in one string made to size.
std::string JoinEntity(const HeaderLines& lines, std::string_view body) {
    std::string out = JoinHeaderLines(lines);
    out.reserve(out.size() + body.size());
    return out.append(body);
}

// The entity rewritten, or nothing when it stays byte for byte as it came.
std::optional<std::string> RewriteEntity(std::string_view source, std::string_view subject, bool topLevel,
                                         bool& changed, CarrierCode carrier, int depth) {
    if (depth >= MAX_DEPTH) return std::nullopt;
    const HeaderAndBody split = SplitHeaderAndBody(source);
    HeaderLines lines = SplitHeaderLines(split.header);
    if (topLevel) SetHeader(lines, MARKER_HEADER, "true");
    const auto withMarkerOnly = [&]() -> std::optional<std::string> {
        if (!topLevel) return std::nullopt;
        changed = true;
        return JoinEntity(lines, split.body);
    };

    const EntityKind kind = ClassifyEntity(lines);
    switch (kind.media) {
        case MediaKind::PlainText: {
            std::optional<std::string> converted = ConvertTextEntity(kind, lines, split.body, subject, carrier);
            if (!converted) return withMarkerOnly();
            changed = true;
            return converted;
        }
        case MediaKind::Html: {
            // Its header lines stay as they came (with the marker at the top level).
            const std::optional<std::string> body = ConvertHtmlBody(kind, split.body, carrier);
            if (!body) return std::nullopt;
            changed = true;
            if (topLevel) return JoinEntity(lines, *body);
            return std::string(source.substr(0, split.header.size())).append(CRLF).append(*body);
        }
        case MediaKind::Multipart: {
            MultipartBody layout = SplitMultipartBody(split.body, kind.boundary);
            bool found = false;
            // Only the converted parts are kept, each beside its index; most parts stay as they are.
            std::vector<std::pair<size_t, std::string>> rewritten;
            const std::string delimiter = "--" + kind.boundary;
            for (size_t i = 0; i < layout.parts.size(); ++i) {
                std::optional<std::string> part = RewriteEntity(layout.parts[i], subject, false, found, carrier, depth + 1);
                // A decoded text, or the host's re-encoding of one, may hold this entity's own
                // delimiter: written back, it would cut the part in two. Such a part stays.
                if (part && part->find(delimiter) == std::string::npos) rewritten.emplace_back(i, std::move(*part));
            }
            if (!found) return withMarkerOnly();
            changed = true;
            for (const auto& [i, text] : rewritten) layout.parts[i] = text;
            std::string out = JoinHeaderLines(lines);
            AppendMultipartBody(out, layout, layout.parts, kind.boundary);
            return out;
        }
        case MediaKind::Other: break;
    }
    return std::nullopt;
}

}  // namespace

std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel, bool& changed,
                           CarrierCode carrier) {
    std::optional<std::string> rewritten = RewriteEntity(source, subject, topLevel, changed, carrier, 0);
    return rewritten ? std::move(*rewritten) : std::string(source);
}

std::string MakeAlternativeBoundary() {
    Guid guid;
    if (!CreateGuid(guid)) guid = FallbackGuid();
    char text[65];
    std::snprintf(text, sizeof text,
                  "--------_%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x_MULTIPART_ALTERNATIVE_",
                  static_cast<unsigned>(guid.data1), guid.data2, guid.data3, guid.data4[0], guid.data4[1],
                  guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return text;
}

bool IsAlternativeBoundary(std::string_view boundary) {
    constexpr std::string_view HEAD = "--------_", TAIL = "_MULTIPART_ALTERNATIVE_";
    return boundary.size() == 64 && boundary.substr(0, HEAD.size()) == HEAD && boundary.substr(64 - TAIL.size()) == TAIL &&
           boundary.substr(HEAD.size(), 32).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

void SetHeader(HeaderLines& lines, std::string_view name, std::string_view value) {
    bool removed = false;
    RemoveHeaderLines(lines, [&](const HeaderLines& all, size_t i) {
        if (removed || !IsHeaderLine(all[i], name)) return false;
        return removed = true;
    });
    lines.push_back(std::string(name).append(": ").append(value));
}

std::string JoinHeaderLines(const HeaderLines& lines) {
    size_t size = CRLF.size();
    for (const std::string& line : lines) size += line.size() + CRLF.size();
    std::string out;
    out.reserve(size);
    for (const std::string& line : lines) out.append(line).append(CRLF);
    return out.append(CRLF);
}

std::string JoinMultipartBody(const MultipartBody& layout, const PartList& parts, std::string_view boundary) {
    std::string out;
    AppendMultipartBody(out, layout, parts, boundary);
    return out;
}
