#include "mime/message_rewriter.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/bytes.h"
#include "platform/buffer_growth.h"
#include "mime/boundary.h"
#include "mime/header_lines.h"
#include "mime/html_part.h"
#include "mime/mime_tree.h"
#include "mime/related_images.h"
#include "mime/text_part.h"
#include "render/pictograph_map.h"
#include "render/text_to_html.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// One message's rewrite: the tree it reads, the result it writes (each entity once, straight
// into it), what its text parts share, and what it reports.
struct Rewrite {
    const MimeTree& tree;
    std::string& out;
    MessageHtml& shared;
    RewriteReport& report;
    bool marked;  // the message gets the marker in its header block
    // The boundaries of the multipart entities around the entity being written, and the bytes
    // they write after it.
    std::vector<std::string_view> enclosing;
    size_t closingBytes = 0;
};

// An entity's header lines as they are to be written: the message's with the marker.
HeaderLines HeaderLinesOf(const Rewrite& rewrite, size_t index) {
    HeaderLines lines = SplitHeaderLines(rewrite.tree[index].Header());
    if (index == 0 && rewrite.marked) SetHeader(lines, MARKER_HEADER, MARKER_LINE);
    return lines;
}

// Whether a line of written begins with "--" and an enclosing boundary: read again, it would
// cut the entity that holds it in two. A decoded text or the host's re-encoding of one may
// hold such a line, and so may a delimiter of ours under a sender's boundary of hyphens.
bool BreaksEnclosingEntity(std::string_view written, const std::vector<std::string_view>& enclosing) {
    for (size_t line = FindLineBeginning(written, "--"); line != std::string_view::npos; line = FindLineBeginning(written, "--", line + 1))
        for (const std::string_view boundary : enclosing)
            if (written.compare(line + 2, boundary.size(), boundary) == 0) return true;
    return false;
}

// A converted entity, written to out from start, kept unless it breaks an enclosing entity:
// then it is written as it came and the images it added to related are taken back.
bool KeepConverted(Rewrite& rewrite, size_t index, size_t start, const RewriteReport& converted,
                   RelatedImages* related, size_t relatedBefore) {
    if (!rewrite.enclosing.empty() && BreaksEnclosingEntity(std::string_view(rewrite.out).substr(start), rewrite.enclosing)) {
        rewrite.out.resize(start);
        rewrite.out.append(rewrite.tree[index].text);
        if (related) related->ids.resize(relatedBefore);
        return false;
    }
    AddEntityReport(rewrite.report, converted);
    return true;
}

bool AppendEntity(Rewrite& rewrite, size_t index, RelatedImages* related);

// A plain text made multipart/alternative; else, as it came (the message's with the marker).
bool AppendTextEntity(Rewrite& rewrite, size_t index) {
    const MimeEntity& entity = rewrite.tree[index];
    std::string& out = rewrite.out;
    const size_t start = out.size();
    const HeaderLines lines = HeaderLinesOf(rewrite, index);
    RewriteReport converted;
    // Read from the lines at hand (the marker is no Content- line): a header is split once.
    if (AppendConvertedTextEntity(out, ClassifyEntity(lines), lines, entity.Body(), rewrite.shared, rewrite.closingBytes, converted))
        return KeepConverted(rewrite, index, start, converted, nullptr, 0);
    if (index == 0 && rewrite.marked) {
        ReserveMore(out, entity.text.size() + sizeof MARKER_LINE + 4);
        AppendHeaderLines(out, lines);
        out.append(entity.Body());
    } else {
        AppendGrowing(out, entity.text);
    }
    return false;
}

// A sender's HTML entity with its images in place; else as it came. Images carried as parts
// go to the multipart/related entity around it (related), or, where there is none, into one
// made around the entity: its Content- header lines move into it, the others stay outside.
bool AppendHtmlEntity(Rewrite& rewrite, size_t index, RelatedImages* related) {
    const MimeEntity& entity = rewrite.tree[index];
    std::string& out = rewrite.out;
    RelatedImages own;
    RelatedImages& images = related ? *related : own;
    const size_t imagesBefore = images.ids.size();
    RewriteReport converted;
    const std::optional<std::string> body =
        ConvertHtmlBody(KindOf(entity), entity.Body(), rewrite.shared.carrier, images, rewrite.shared.lastRelated,
                        converted.bodyImages);
    if (!body) {
        AppendGrowing(out, entity.text);
        return false;
    }
    const size_t start = out.size();
    if (related || own.ids.empty()) {
        // Its header lines stay as they came (with the marker at the top level).
        if (index == 0 && rewrite.marked)
            AppendHeaderLines(out, HeaderLinesOf(rewrite, index));
        else
            out.append(entity.Header()).append(CRLF);
        out.append(*body);
        converted.senderHtml = Span{start, out.size() - start};
        return KeepConverted(rewrite, index, start, converted, related, imagesBefore);
    }
    HeaderLines outside, inside;
    bool content = false;
    for (const std::string_view line : HeaderLinesOf(rewrite, index)) {
        if (!IsContinuationLine(line)) content = StartsWithIgnoringCase(line, "Content-");
        (content ? inside : outside).push_back(line);
    }
    const std::string boundary = MakeRelatedBoundary();
    const std::string type = RelatedContentType(boundary);
    outside.push_back(type);
    AppendHeaderLines(out, outside);
    out.append("--").append(boundary).append(CRLF);
    const size_t html = out.size();
    AppendHeaderLines(out, inside);
    // The CR LF before a delimiter belongs to it: a part's last one serves, as it did before the
    // delimiter that followed the part; the message's own body had none after it, so its last
    // line break stays its own.
    out.append(*body);
    converted.senderHtml = Span{html, out.size() - html};
    if (index == 0 || body->size() < CRLF.size() || body->compare(body->size() - CRLF.size(), CRLF.size(), CRLF) != 0)
        out.append(CRLF);
    converted.imageBytes = AppendImageParts(out, own.ids, "--" + boundary);
    converted.imagesCarried = own.ids.size();
    out.append("--").append(boundary).append("--").append(CRLF);
    return KeepConverted(rewrite, index, start, converted, nullptr, 0);
}

// Whether an entity may come out larger than it went in at the rate of the texts: a text. A
// multipart entity reckons with its own texts when it is written.
bool GrowsLikeText(MediaKind media) { return media == MediaKind::PlainText || media == MediaKind::Html; }

// The texts of a multipart body converted so far: their bytes in and out.
struct TextGrowth {
    size_t in = 0;
    size_t out = 0;
};

// Before a part of the multipart entity at parent is written: only when it would not fit at
// the rate the texts so far have shown (and an eighth more) does out grow, by what it and
// the parts after it are expected to give: texts at that rate, other parts as they are. A
// converted text is thus not taken for the rate of the attachment after it.
void ReserveForPart(Rewrite& rewrite, size_t parent, size_t part, size_t delimiterSize, const TextGrowth& growth) {
    const MimeTree& tree = rewrite.tree;
    std::string& out = rewrite.out;
    // A first part that is a text or holds one (as the body of a mail mostly is) makes its own
    // room and tells the rate: room for all the rest guessed before it would be held beside the
    // room made at the true rate.
    if (part == FirstPart(parent) && (GrowsLikeText(tree[part].media) || tree[part].media == MediaKind::Multipart)) return;
    const double rate = growth.in == 0 ? 1.0 : std::max(1.0, static_cast<double>(growth.out) / static_cast<double>(growth.in) * 1.125);
    const size_t room = out.capacity() - out.size();
    if (room >= delimiterSize + tree[part].delimiterEndSize + static_cast<size_t>(static_cast<double>(tree[part].text.size()) * rate))
        return;
    // A delimiter's worth to spare, and the closing delimiters and epilogues of this entity and
    // of those around it.
    double expected = static_cast<double>(delimiterSize + rewrite.closingBytes);
    for (size_t ahead = part; ahead < tree[parent].end; ahead = tree[ahead].end)
        expected += static_cast<double>(delimiterSize + tree[ahead].delimiterEndSize) +
                    static_cast<double>(tree[ahead].text.size()) * (rate > 1.0 && GrowsLikeText(tree[ahead].media) ? rate : 1.0);
    if (room < static_cast<size_t>(expected)) ReserveMore(out, static_cast<size_t>(expected));
}

// The preamble and every part of the multipart entity at index, each after its delimiter;
// whether a part was converted.
bool AppendParts(Rewrite& rewrite, size_t index, std::string_view delimiter, RelatedImages* images) {
    const MimeEntity& entity = rewrite.tree[index];
    std::string& out = rewrite.out;
    // What this entity writes after its last part (a closing delimiter it adds may need a line
    // break before it).
    const size_t closing = delimiter.size() + 2 + (entity.closed ? entity.epilogueSize : 2 * CRLF.size());
    rewrite.enclosing.push_back(delimiter.substr(2));
    rewrite.closingBytes += closing;
    bool converted = false;
    TextGrowth growth;
    out.append(entity.Preamble());
    for (size_t part = FirstPart(index); part < entity.end; part = rewrite.tree[part].end) {
        ReserveForPart(rewrite, index, part, delimiter.size(), growth);
        out.append(delimiter).append(rewrite.tree[part].DelimiterEnd());
        const size_t partStart = out.size();
        if (AppendEntity(rewrite, part, images)) {
            converted = true;
            growth.in += rewrite.tree[part].text.size();
            growth.out += out.size() - partStart;
        }
    }
    rewrite.closingBytes -= closing;
    rewrite.enclosing.pop_back();
    return converted;
}

// A multipart entity with its parts rewritten, the images of a multipart/related entity
// added as parts of its own; when no part was converted, as it came (the message's marked).
bool AppendMultipartEntity(Rewrite& rewrite, size_t index, RelatedImages* related) {
    const MimeEntity& entity = rewrite.tree[index];
    std::string& out = rewrite.out;
    const HeaderLines lines = HeaderLinesOf(rewrite, index);
    const std::string delimiter = "--" + ClassifyEntity(lines).boundary;
    const size_t entityStart = out.size();
    AppendHeaderLines(out, lines);
    const size_t bodyStart = out.size();
    // A multipart/related entity carries the images its parts show as parts of its own.
    RelatedImages ownImages;
    const bool converted = AppendParts(rewrite, index, delimiter, entity.related ? &ownImages : related);
    if (!ownImages.ids.empty()) {
        // Each delimiter begins a line.
        if (std::string_view(out).substr(out.size() - std::min(out.size(), CRLF.size())) != CRLF) out.append(CRLF);
        rewrite.report.imageBytes += AppendImageParts(out, ownImages.ids, delimiter);
        rewrite.report.imagesCarried += ownImages.ids.size();
    }
    // A closing delimiter begins a line, the one added after a last part that ended without a
    // line break too: glued to it, a reader would take it for the part's text.
    if (out.back() != '\n') out.append(CRLF);
    out.append(delimiter).append("--").append(entity.closed ? entity.Epilogue() : CRLF);
    if (converted) return true;
    // What was written is the entity as it came when its body was closed and its header block
    // is its own (the message's has the marker); otherwise it is written again.
    if (index == 0 && rewrite.marked) {
        if (entity.closed) return false;
        out.resize(bodyStart);
        out.append(entity.Body());
        return false;
    }
    const size_t headerBlockSize = bodyStart - entityStart;  // its blank line included
    if (entity.closed && entity.bodyStart == headerBlockSize &&
        std::string_view(out).substr(entityStart, headerBlockSize) == entity.text.substr(0, headerBlockSize))
        return false;
    out.resize(entityStart);
    AppendGrowing(out, entity.text);
    return false;
}

// The entity at index appended to out, rewritten or as it came; whether it was converted.
// related: the images that the multipart/related entity around it is to carry, if there is one.
bool AppendEntity(Rewrite& rewrite, size_t index, RelatedImages* related) {
    switch (rewrite.tree[index].media) {
        case MediaKind::PlainText: return AppendTextEntity(rewrite, index);
        case MediaKind::Html: return AppendHtmlEntity(rewrite, index, related);
        case MediaKind::Multipart: return AppendMultipartEntity(rewrite, index, related);
        case MediaKind::Other: break;
    }
    AppendGrowing(rewrite.out, rewrite.tree[index].text);
    return false;
}

}  // namespace

std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel, bool& changed,
                           CarrierCode carrier, RewriteReport* report) {
    // Images of ours could not be told from the sender's: the message stays as it is.
    if (SelectPictographMap(carrier).Embedded() && HoldsImageContentId(source)) return std::string(source);
    const MimeTree tree = ReadMimeTree(source);
    // Each entity makes the room it needs as it is written: a text once it knows how long its
    // HTML is, a multipart body for itself and then at the rate of its texts.
    std::string out;
    MessageHtml shared{subject, carrier, 0, {}, {}, {}, {}, {}, {}, {}};
    RewriteReport own;
    Rewrite rewrite{tree, out, shared, report ? *report : own, topLevel, {}, 0};
    const bool converted = AppendEntity(rewrite, 0, nullptr);
    // A text or multipart message is marked even when nothing in it was converted.
    const MediaKind media = tree[0].media;
    if (converted || (topLevel && (media == MediaKind::PlainText || media == MediaKind::Multipart))) changed = true;
    return out;
}
