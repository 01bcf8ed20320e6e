#include "mime/message_rewriter.h"
#include "mime/ascii_case.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "mime/transfer_encoding.h"
#include "platform/guid.h"
#include "render/text_to_html.h"
#include "shell/host_api.h"

namespace {

constexpr std::string_view CRLF = "\r\n";
// Entities nested this deep in multipart entities are left as they are.
constexpr int MAX_DEPTH = 64;

// "<HTML>\r\n<BODY>\r\n<FONT  face=\"ＭＳ ゴシック\" size=\"2\">" in Shift-JIS.
constexpr char HTML_HEAD[] =
    "<HTML>\r\n<BODY>\r\n<FONT  face=\""
    "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E"
    "\" size=\"2\">";
constexpr char HTML_TAIL[] = "\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n";

// A fixed piece of the HTML part in ISO-2022-JP, as the host converts it.
std::string ToIso2022Jp(const char* sjis) {
    const char* jis = g_hostApi.BKA_ISO_2022_JP(sjis, SJIS_TO_ISO2022JP);
    return jis ? jis : "";
}

bool IsContinuationLine(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// Removes the line at i with the continuation lines that follow it.
void RemoveLineAt(HeaderLines& lines, size_t i) {
    size_t end = i + 1;
    while (end < lines.size() && IsContinuationLine(lines[end])) ++end;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(end));
}

void RemoveHeader(HeaderLines& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (IsHeaderLine(lines[i], name)) {
            RemoveLineAt(lines, i);
            return;
        }
    }
}

// No multipart entity may declare base64 or quoted-printable: every such declaration goes,
// a second one too.
void RemoveEncodingDeclarations(HeaderLines& lines) {
    constexpr std::string_view NAME = "Content-Transfer-Encoding";
    for (size_t i = 0; i < lines.size();) {
        if (IsHeaderLine(lines[i], NAME) &&
            ClassifyTransferEncoding(std::string_view(lines[i]).substr(NAME.size() + 2)) != TransferEncoding::Identity)
            RemoveLineAt(lines, i);
        else
            ++i;
    }
}

// The plain part keeps the entity's own charset, so that its text stays readable.
std::string PlainPartCharset(std::string_view contentType) {
    std::string charset = GetTypeParameter(contentType, "charset");
    return charset.empty() || EqualsIgnoringCase(charset, "ISO-2022-JP") ? "ISO-2022-JP" : charset;
}

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

// The two-part body appended to out, which may already hold the entity's header block.
void AppendAlternativeBody(std::string& out, std::string_view subject, std::string_view body, std::string_view boundary,
                           bool& found, CarrierCode carrier, std::string_view plainCharset) {
    bool subjectFound = false;
    const std::string subjectHtml = ConvertTextToHtml(subject, subjectFound, carrier);
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });

    const std::string head = ToIso2022Jp(HTML_HEAD);
    const std::string html = ConvertTextToHtml(body, found, carrier);
    const std::string tail = ToIso2022Jp(HTML_TAIL);
    out.reserve(out.size() + body.size() + head.size() + subjectHtml.size() + html.size() + tail.size() + 512);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/plain; charset=\"").append(plainCharset).append("\"").append(CRLF);
    out.append("Content-Transfer-Encoding: ").append(eightBit ? "8bit" : "7bit").append(CRLF);
    out.append(CRLF);
    out.append(body);
    out.append(CRLF).append(CRLF);
    out.append("--").append(boundary).append(CRLF);
    out.append("Content-Type: text/html; charset=\"ISO-2022-JP\"").append(CRLF);
    out.append("Content-Transfer-Encoding: 7bit").append(CRLF);
    out.append(CRLF);
    out.append(head);
    if (subjectFound) {
        out.append(ToIso2022Jp("Subject:"));
        out.append(subjectHtml);
        out.append(ToIso2022Jp("<BR>"));
        out.append(ToIso2022Jp("----------------------------------------<BR>"));
    }
    out.append(html);
    out.append(tail);
    out.append("--").append(boundary).append("--").append(CRLF);
    if (subjectFound) found = true;
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
    const std::string contentType = GetHeaderValue(lines, "Content-Type");
    const auto withMarkerOnly = [&]() -> std::optional<std::string> {
        if (!topLevel) return std::nullopt;
        changed = true;
        return JoinEntity(lines, split.body);
    };

    if (IsPlainTextType(contentType)) {
        const std::string boundary = MakeAlternativeBoundary();
        // A base64 or quoted-printable text is converted decoded; no multipart/alternative
        // entity may declare either encoding, so the entity's own declaration goes.
        const TransferEncoding encoding = ClassifyTransferEncoding(GetHeaderValue(lines, "Content-Transfer-Encoding"));
        std::optional<std::string> decoded;
        if (encoding == TransferEncoding::Base64) decoded = DecodeBase64(split.body);
        if (encoding == TransferEncoding::QuotedPrintable) decoded = DecodeQuotedPrintable(split.body);
        if (encoding != TransferEncoding::Identity && !decoded) return withMarkerOnly();
        // The header the entity gets when converted, so that its body is written right after it.
        HeaderLines converted = lines;
        SetHeader(converted, "Content-Type", "multipart/alternative; boundary=\"" + boundary + "\"");
        RemoveEncodingDeclarations(converted);
        std::string out = JoinHeaderLines(converted);
        bool found = false;
        AppendAlternativeBody(out, subject, decoded ? *decoded : split.body, boundary, found, carrier,
                              PlainPartCharset(contentType));
        if (!found) return withMarkerOnly();
        changed = true;
        return out;
    }

    std::string boundary;
    if (GetMultipartBoundary(contentType, boundary)) {
        const MultipartBody layout = SplitMultipartBody(split.body, boundary);
        bool found = false;
        std::vector<std::optional<std::string>> rewritten;
        rewritten.reserve(layout.parts.size());
        for (const std::string_view part : layout.parts)
            rewritten.push_back(RewriteEntity(part, subject, false, found, carrier, depth + 1));
        if (!found) return withMarkerOnly();
        changed = true;
        PartList parts = layout.parts;
        for (size_t i = 0; i < parts.size(); ++i)
            if (rewritten[i]) parts[i] = *rewritten[i];
        std::string out = JoinHeaderLines(lines);
        AppendMultipartBody(out, layout, parts, boundary);
        return out;
    }
    return std::nullopt;
}

}  // namespace

std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel, bool& changed,
                           CarrierCode carrier) {
    std::optional<std::string> rewritten = RewriteEntity(source, subject, topLevel, changed, carrier, 0);
    return rewritten ? std::move(*rewritten) : std::string(source);
}

std::string BuildAlternativeBody(std::string_view subject, std::string_view body, std::string_view boundary,
                                 bool& found, CarrierCode carrier, std::string_view plainCharset) {
    std::string out;
    AppendAlternativeBody(out, subject, body, boundary, found, carrier, plainCharset);
    return out;
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

void SetHeader(HeaderLines& lines, std::string_view name, std::string_view value) {
    RemoveHeader(lines, name);
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
