// The rewritten message: every plain-text entity whose text or Subject holds a known
// pictograph becomes multipart/alternative of its own text and an HTML rendering of it, every
// HTML entity holding one gets its images in place, and the whole message carries the marker
// "CreateZaverGlyphory: true".
#pragma once

#include <string>
#include <string_view>

#include "base/carrier.h"
#include "mime/rewrite_report.h"

// The marker header that keeps a message from being converted twice.
constexpr char MARKER_HEADER[] = "CreateZaverGlyphory";
// The line it is written as.
constexpr char MARKER_LINE[] = "CreateZaverGlyphory: true";

// Sets changed when the host is to receive the result; never clears it.
[[nodiscard]] std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel,
                                         bool& changed, CarrierCode carrier, RewriteReport* report = nullptr);
