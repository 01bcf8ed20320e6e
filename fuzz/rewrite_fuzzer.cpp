// Rewrites arbitrary bytes as a message, with small fixed maps, and checks what must hold
// for any input: an unchanged result is the input; no NUL byte appears that the input did not
// hold; a rebuilt multipart body keeps its preamble, epilogue and every part it did not
// convert byte for byte; a converted HTML part decodes to its old text with codes replaced
// by tags and nothing else changed, in every charset; no entity this program made declares base64 or
// quoted-printable over its multipart body.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "fuzz/check.h"
#include "fuzz/rewrite_input.h"
#include "host/mail_host.h"
#include "mime/boundary.h"
#include "mime/entity_kind.h"
#include "mime/html_part.h"
#include "mime/message_rewriter.h"
#include "mime/mime_tree.h"
#include "tests/common/mime_parts.h"
#include "mime/mime_reader.h"
#include "mime/transfer_encoding.h"
#include "base/sjis.h"
#include "render/pictograph_map.h"
#include "shell/host_api.h"

namespace {

constexpr std::string_view OWN_BOUNDARY = "multipart/alternative; boundary=\"--------_";

// A boundary of the generated form ("--------_", 32 hexadecimal digits, "_MULTIPART_ALTERNATIVE_")
// that the input did not hold: made by this program.
bool IsOwnBoundary(std::string_view boundary, std::string_view input) {
    constexpr std::string_view HEAD = "--------_", TAIL = "_MULTIPART_ALTERNATIVE_";
    return boundary.size() == 64 && boundary.substr(0, HEAD.size()) == HEAD && boundary.substr(64 - TAIL.size()) == TAIL &&
           boundary.substr(HEAD.size(), 32).find_first_not_of("0123456789abcdef") == std::string_view::npos &&
           input.find(boundary) == std::string_view::npos;
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
    for (const std::string_view part : PartTextsOf(entity)) CheckOwnEntities(part, input, depth + 1);
}

// The text with each tag of the Docomo map written back as its code, or as with.
std::string RestoreCodes(std::string text, std::optional<std::string_view> with = std::nullopt) {
    for (const auto& [code, tag] : g_mapDocomo.Tags()) {
        const std::string bytes =
            with ? std::string(*with) : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + bytes.size()))
            text.replace(at, tag.size(), bytes);
    }
    return text;
}

// An ISO-2022-JP text as the characters a reader sees, each after the letter of its set
// (A ASCII, J JIS Roman, K JIS X 0208 in either designation, I katakana): escape sequences
// only switch sets. The tag of F660 (the one code of the map that has a JIS form) is read
// back as its JIS pair "uA".
std::string JisCharacters(std::string_view text) {
    std::string out;
    char set = 'A';
    for (size_t i = 0; i < text.size();) {
        const JisSet next = text[i] == '\x1B' ? JisSetOfEscape(text.substr(i)) : JisSet::Unknown;
        if (next != JisSet::Unknown) {
            set = next == JisSet::TwoByte ? 'K' : next == JisSet::Kana ? 'I' : text[i + 2] == 'J' ? 'J' : 'A';
            i += 3;
            continue;
        }
        const size_t width = set == 'K' && i + 1 < text.size() ? 2 : 1;
        out.append(1, set).append(text.substr(i, width));
        i += width;
    }
    std::string tag;
    for (const char c : *g_mapDocomo.Find(0xF660)) tag.append(1, 'A').append(1, c);
    for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 3)) out.replace(at, tag.size(), "KuA");
    return out;
}

size_t CountTags(std::string_view text) {
    size_t count = 0;
    for (size_t at = text.find("<img src="); at != std::string_view::npos; at = text.find("<img src=", at + 1)) ++count;
    return count;
}

// A converted HTML entity: its header as it came, its body in the same transfer encoding,
// decoding to the old text with some codes replaced by their tags.
void CheckHtmlEntity(std::string_view before, std::string_view after, bool topLevel) {
    const HeaderAndBody in = SplitHeaderAndBody(before), out = SplitHeaderAndBody(after);
    if (!topLevel) Check(in.header == out.header);
    const EntityKind kind = ClassifyEntity(SplitHeaderLines(in.header));
    std::string oldStorage, newStorage;
    const std::optional<std::string_view> oldText = DecodeText(kind.encoding, in.body, oldStorage);
    const std::optional<std::string_view> newText = DecodeText(kind.encoding, out.body, newStorage);
    Check(oldText && newText);
    const TextCharset charset = ReadingCharsetOfHtml(kind.charset, *oldText);
    if (charset == TextCharset::Utf8) {
        // Many Unicode forms stand for one code: what is left once the tags are taken out
        // comes, in order, from the old text, which lost at most one short sequence (with its
        // selectors and a skin tone) per tag.
        const std::string rest = RestoreCodes(std::string(*newText), ""), old = RestoreCodes(std::string(*oldText), "");
        size_t at = 0;
        for (const char c : rest) {
            const size_t found = old.find(c, at);
            Check(found != std::string::npos);
            at = found + 1;
        }
        Check(old.size() - rest.size() <= 32 * (CountTags(*newText) - CountTags(*oldText)));
        return;
    }
    // Every other charset: the sender's bytes outside the codes stay. In ISO-2022-JP every
    // character stays, in its set, and each tag adds at most the two escape sequences around it.
    const size_t added = CountTags(*newText) - CountTags(*oldText);
    Check(CountTags(*newText) > CountTags(*oldText));
    if (charset == TextCharset::ShiftJis) {
        Check(RestoreCodes(std::string(*newText)) == RestoreCodes(std::string(*oldText)));
        return;
    }
    Check(JisCharacters(*newText) == JisCharacters(*oldText));
    Check(std::count(newText->begin(), newText->end(), '\x1B') <= std::count(oldText->begin(), oldText->end(), '\x1B') +
                                                                      static_cast<std::ptrdiff_t>(2 * added));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        BindBuiltinHost(g_hostApi);
        g_mapDocomo.Store(0xF89F, "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">");
        g_mapDocomo.Store(0x4142, "<img src=\"file://localhost/C:/G/docomo/4142.gif\">");
        g_mapDocomo.Store(0xF8A0, "<img src=\"file://localhost/C:/G/docomo/F8A0.gif\">");  // cloud, U+2601
        g_mapDocomo.Store(0xF660, "<img src=\"file://localhost/C:/G/au/F660.gif\">");      // JIS 7541, "uA"
        return true;
    }();
    (void)ready;
    const RewrittenInput input = RewriteInput(data, size);
    if (!input.changed) return 0;
    const std::string& source = input.source;
    const std::string& out = input.out;
    CheckOwnEntities(out, source, 0);

    // The top level: header lines kept, and a rebuilt multipart body keeps what it did not convert.
    const HeaderAndBody in = SplitHeaderAndBody(source);
    const HeaderAndBody result = SplitHeaderAndBody(out);
    std::string boundary;
    const std::string type = GetHeaderValue(SplitHeaderLines(in.header), "Content-Type");
    if (IsHtmlType(type) && in.body != result.body) CheckHtmlEntity(source, out, true);
    if (IsPlainTextType(type) || !GetMultipartBoundary(type, boundary) || in.body == result.body) return 0;
    // Walk the rebuilt body along the incoming one: preamble, each delimiter as it came, each
    // part either as it came or an alternative of ours, then the closing delimiter and epilogue.
    const MimeTree tree = ReadMimeTree(source);
    const MimeEntity& before = tree[0];
    const std::string_view body = result.body;
    const std::string opening = "--" + boundary;
    Check(body.substr(0, before.preambleSize) == before.Preamble());
    size_t pos = before.preambleSize;
    for (size_t index = FirstPart(0); index < before.end; index = tree[index].end) {
        const std::string delimiter = opening + std::string(tree[index].DelimiterEnd());
        Check(body.substr(pos, delimiter.size()) == delimiter);
        pos += delimiter.size();
        const std::string_view part = tree[index].text;
        // As it came: the next delimiter follows, or, after a last part without a line break,
        // the one that begins the closing delimiter added to an unclosed entity.
        if (body.substr(pos, part.size()) == part && (body.substr(pos + part.size(), opening.size()) == opening ||
                                                      body.substr(pos + part.size(), opening.size() + 2) == "\r\n" + opening)) {
            pos += part.size();
            continue;
        }
        const HeaderLines partLines = SplitHeaderLines(SplitHeaderAndBody(part).header);
        const std::string partType = GetHeaderValue(partLines, "Content-Type");
        if (IsHtmlType(partType)) {
            const size_t end = FindLineBeginning(body, opening, pos);
            Check(end != std::string_view::npos);
            std::string_view converted = body.substr(pos, end - pos);
            // The line break added before the closing delimiter of an unclosed entity is no
            // part of its last part.
            if (!before.closed && tree[index].end == before.end && !part.empty() && part.back() != '\n' &&
                converted.size() >= 2 && converted.substr(converted.size() - 2) == "\r\n")
                converted.remove_suffix(2);
            CheckHtmlEntity(part, converted, false);
            pos = end;
            continue;
        }
        if (!IsPlainTextType(partType)) return 0;  // a nested rebuild
        const HeaderLines lines = SplitHeaderLines(SplitHeaderAndBody(body.substr(pos)).header);
        Check(!lines.empty() && lines.back().rfind("Content-Type: " + std::string(OWN_BOUNDARY), 0) == 0);
        const std::string own(lines.back().substr(lines.back().find('"') + 1, 64));
        Check(IsOwnBoundary(own, source));
        const size_t end = body.find("--" + own + "--\r\n", pos);
        Check(end != std::string_view::npos);
        pos = end + own.size() + 6;
    }
    // A closing delimiter added to an entity that had none begins a line of its own.
    if (!before.closed && pos > 0 && body[pos - 1] != '\n' && body.substr(pos, 2) == "\r\n") pos += 2;
    Check(body.substr(pos) == opening + "--" + std::string(before.closed ? before.Epilogue() : "\r\n"));
    return 0;
}
