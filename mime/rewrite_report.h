// What a rewrite did, for a caller that says so (the command's summary and pages); none of it
// changes the message.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>

// Where an entity stands in the rewritten message: its header block and body.
struct Span {
    size_t start = 0;
    size_t size = 0;
};

struct RewriteReport {
    size_t bodyImages = 0;     // pictographs of the texts shown as images
    size_t subjectImages = 0;  // those of the Subject block, once for the whole message
    size_t imagesCarried = 0;  // image parts added, and their bytes
    size_t imageBytes = 0;
    // The first HTML part of ours (a text's rendering) and the first HTML part of the sender's
    // that got images.
    std::optional<Span> ownHtml, senderHtml;

    // The pictographs the message shows as images.
    [[nodiscard]] size_t Shown() const { return bodyImages + subjectImages; }
};

// What the one entity's conversion adds to the report of its message.
inline void AddEntityReport(RewriteReport& message, const RewriteReport& entity) {
    message.bodyImages += entity.bodyImages;
    message.subjectImages = std::max(message.subjectImages, entity.subjectImages);
    message.imagesCarried += entity.imagesCarried;
    message.imageBytes += entity.imageBytes;
    if (!message.ownHtml) message.ownHtml = entity.ownHtml;
    if (!message.senderHtml) message.senderHtml = entity.senderHtml;
}
