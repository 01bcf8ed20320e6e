// A text/plain entity made multipart/alternative: its own text as the plain part and an HTML
// rendering of it, in which the carrier's pictographs are images.
#pragma once

#include <string>
#include <string_view>

#include "mime/entity_kind.h"
#include "base/carrier.h"

// The whole entity converted, appended to out: its header lines with the new Content-Type
// (and without a base64 or quoted-printable declaration), then the two-part body. False, with
// out as it was, when neither the text nor the Subject holds a pictograph, or when the text
// cannot be read. Room is made at once for what comes after it too, tail bytes.
[[nodiscard]] bool AppendConvertedTextEntity(std::string& out, const EntityKind& kind, const HeaderLines& lines,
                                             std::string_view body, std::string_view subject, CarrierCode carrier,
                                             size_t tail);
