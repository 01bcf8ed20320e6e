// The rewritten message: every plain-text entity whose text or Subject holds a known
// pictograph becomes multipart/alternative of its own text and an HTML rendering of it, and
// the whole message carries the marker "CreateZaverGlyphory: true".
#pragma once

#include <string>
#include <string_view>

#include "mime/mime_reader.h"
#include "settings/carrier.h"

// The marker header that keeps a message from being converted twice.
constexpr char MARKER_HEADER[] = "CreateZaverGlyphory";

// Sets changed when the host is to receive the result; never clears it.
[[nodiscard]] std::string RewriteMessage(std::string_view source, std::string_view subject, bool topLevel,
                                         bool& changed, CarrierCode carrier);

// The two-part body: the text as the plain part, declared with plainCharset, and its HTML.
// Sets found when a pictograph was replaced in the text or the Subject.
[[nodiscard]] std::string BuildAlternativeBody(std::string_view subject, std::string_view body,
                                               std::string_view boundary, bool& found, CarrierCode carrier,
                                               std::string_view plainCharset = "ISO-2022-JP");

// 64 bytes: "--------_", 32 hexadecimal digits of a new GUID, "_MULTIPART_ALTERNATIVE_".
[[nodiscard]] std::string MakeAlternativeBoundary();

// Removes the first line that is the header name, with its continuation lines, and appends
// "name: value" as the last line.
void SetHeader(HeaderLines& lines, std::string_view name, std::string_view value);
[[nodiscard]] std::string JoinHeaderLines(const HeaderLines& lines);
// The body cut by SplitMultipartBody written back with the given part texts.
[[nodiscard]] std::string JoinMultipartBody(const MultipartBody& layout, const PartList& parts,
                                            std::string_view boundary);
