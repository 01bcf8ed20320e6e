// A text/html entity (decorated mail) with the carrier's pictographs as images, in place: the
// same charset, the same transfer encoding, the same header lines, and every byte outside the
// replaced codes as it came.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/entity_kind.h"
#include "mime/related_images.h"
#include "base/carrier.h"

// The charset a decoded HTML text is read in: UTF-8 when it begins with a byte order mark;
// else the one its header states; else the one its markup declares (as a browser finds it);
// else ISO-2022-JP when it is 7-bit, UTF-8 when it is valid UTF-8, and Shift_JIS, the
// client's own, otherwise.
[[nodiscard]] TextCharset ReadingCharsetOfHtml(TextCharset stated, std::string_view html);

// The new body, or nothing when it holds no pictograph or cannot be read: an unknown transfer
// encoding, a charset other than ISO-2022-JP, US-ASCII (read as ISO-2022-JP), Shift_JIS or
// UTF-8, bytes that do not fit the charset it is read in, or a decoded text with a NUL byte.
// The images its new tags refer to as parts are taken for the multipart/related entity of
// images (see TakeImageReferences; last: the message's last number of one). shown: the
// pictographs it shows as images.
[[nodiscard]] std::optional<std::string> ConvertHtmlBody(const EntityKind& kind, std::string_view body,
                                                         CarrierCode carrier, RelatedImages& images, int& last, size_t& shown);
