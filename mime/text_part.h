// A text/plain entity made multipart/alternative: its own text as the plain part and an HTML
// rendering of it, in which the carrier's pictographs are images.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/entity_kind.h"
#include "mime/rewrite_report.h"
#include "base/carrier.h"

// The Subject's HTML in one charset, whether it holds a pictograph, and how many it shows.
struct SubjectHtml {
    std::string html;
    bool found = false;
    size_t images = 0;
};

// What the text parts of one message share, each made the first time a part needs it: the
// Subject's HTML in either charset, and the fixed pieces of the HTML as the host converts them.
struct MessageHtml {
    std::string_view subject;
    CarrierCode carrier;
    // The number of the last multipart/related entity of ours that carries images.
    int lastRelated;
    std::optional<SubjectHtml> subjectIso2022Jp;
    std::optional<SubjectHtml> subjectUtf8;
    std::optional<std::string> head, subjectLabel, lineBreak, rule, tail;  // in ISO-2022-JP
};

// The whole entity converted, appended to out: its header lines with the new Content-Type
// (and without a base64 or quoted-printable declaration), then the two-part body. False, with
// out as it was, when neither the text nor the Subject holds a pictograph, or when the text
// cannot be read. Room is made at once for what comes after it too, bytesAfter. converted:
// what it shows and carries, and where its HTML part stands.
[[nodiscard]] bool AppendConvertedTextEntity(std::string& out, const EntityKind& kind, const HeaderLines& lines,
                                             std::string_view body, MessageHtml& shared, size_t bytesAfter,
                                             RewriteReport& converted);
