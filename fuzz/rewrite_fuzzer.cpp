// Rewrites arbitrary bytes as a message, with small fixed maps, and checks what must hold
// for any input: an unchanged result is the input; a rebuilt multipart body keeps its
// preamble, epilogue and every part it did not convert byte for byte; no entity this
// program made declares base64 or quoted-printable over its multipart body.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/mail_host.h"
#include "mime/message_rewriter.h"
#include "mime/mime_reader.h"
#include "mime/transfer_encoding.h"
#include "render/pictograph_map.h"

namespace {

constexpr std::string_view OWN_BOUNDARY = "multipart/alternative; boundary=\"--------_";

#define Check(holds) CheckAt(holds, __LINE__)
void CheckAt(bool holds, int line) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken at rewrite_fuzzer.cpp:%d\n", line);
    std::abort();
}

// A boundary of the generated form that the input did not hold: made by this program.
bool IsOwnBoundary(std::string_view boundary, std::string_view input) {
    constexpr std::string_view HEX = "0123456789abcdef";
    if (boundary.size() != 64 || boundary.substr(0, 9) != "--------_" || boundary.substr(41) != "_MULTIPART_ALTERNATIVE_")
        return false;
    if (boundary.substr(9, 32).find_first_not_of(HEX) != std::string_view::npos) return false;
    return input.find(boundary) == std::string_view::npos;
}

// Walks every entity of the result that this program made.
void CheckOwnEntities(std::string_view entity, std::string_view input, int depth) {
    if (depth > 70) return;
    const HeaderAndBody split = SplitHeaderAndBody(entity);
    const HeaderLines lines = SplitHeaderLines(split.header);
    const std::string type = GetHeaderValue(lines, "Content-Type");
    std::string boundary;
    if (!GetMultipartBoundary(type, boundary)) return;
    if (IsOwnBoundary(boundary, input))
        Check(ClassifyTransferEncoding(GetHeaderValue(lines, "Content-Transfer-Encoding")) == TransferEncoding::Identity);
    for (const std::string_view part : SplitMultipartBody(split.body, boundary).parts)
        CheckOwnEntities(part, input, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        BindBuiltinHost(g_hostApi);
        g_mapDocomo.Store(0xF89F, "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">");
        g_mapDocomo.Store(0x4142, "<img src=\"file://localhost/C:/G/docomo/4142.gif\">");
        return true;
    }();
    (void)ready;
    const std::string source(reinterpret_cast<const char*>(data), size);
    const std::string_view subject = size > 0 && data[0] % 2 ? "\xF8\x9F" : "s";
    bool changed = false;
    const std::string out = RewriteMessage(source, subject, true, changed, CARRIER_DOCOMO);
    if (!changed) {
        Check(out == source);
        return 0;
    }
    CheckOwnEntities(out, source, 0);

    // The top level: header lines kept, and a rebuilt multipart body keeps what it did not convert.
    const HeaderAndBody in = SplitHeaderAndBody(source);
    const HeaderAndBody result = SplitHeaderAndBody(out);
    std::string boundary;
    const std::string type = GetHeaderValue(SplitHeaderLines(in.header), "Content-Type");
    if (IsPlainTextType(type) || !GetMultipartBoundary(type, boundary) || in.body == result.body) return 0;
    // Walk the rebuilt body along the incoming one: preamble, each delimiter as it came, each
    // part either as it came or an alternative of ours, then the closing delimiter and epilogue.
    const MultipartBody before = SplitMultipartBody(in.body, boundary);
    const std::string_view body = result.body;
    const std::string opening = "--" + boundary;
    Check(body.substr(0, before.preamble.size()) == before.preamble);
    size_t pos = before.preamble.size();
    for (size_t i = 0; i < before.parts.size(); ++i) {
        const std::string delimiter = opening + std::string(before.delimiterEnds[i]);
        Check(body.substr(pos, delimiter.size()) == delimiter);
        pos += delimiter.size();
        const std::string_view part = before.parts[i];
        if (body.substr(pos, part.size()) == part && body.substr(pos + part.size(), opening.size()) == opening) {
            pos += part.size();
            continue;
        }
        const HeaderLines partLines = SplitHeaderLines(SplitHeaderAndBody(part).header);
        if (!IsPlainTextType(GetHeaderValue(partLines, "Content-Type"))) return 0;  // a nested rebuild
        const HeaderLines lines = SplitHeaderLines(SplitHeaderAndBody(body.substr(pos)).header);
        Check(!lines.empty() && lines.back().rfind("Content-Type: " + std::string(OWN_BOUNDARY), 0) == 0);
        const std::string own = lines.back().substr(lines.back().find('"') + 1, 64);
        Check(IsOwnBoundary(own, source));
        const size_t end = body.find("--" + own + "--\r\n", pos);
        Check(end != std::string_view::npos);
        pos = end + own.size() + 6;
    }
    Check(body.substr(pos) == opening + "--" + std::string(before.closed ? before.epilogue : "\r\n"));
    return 0;
}
