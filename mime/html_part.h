// A text/html entity (decorated mail) with the carrier's pictographs as images, in place: the
// same charset, the same transfer encoding, the same header lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mime/entity_kind.h"
#include "base/carrier.h"

// The new body, or nothing when it holds no pictograph or cannot be read: an unknown transfer
// encoding, a charset other than ISO-2022-JP, US-ASCII, Shift_JIS or UTF-8 (none stated
// counts as ISO-2022-JP), or a decoded text with a NUL byte.
[[nodiscard]] std::optional<std::string> ConvertHtmlBody(const EntityKind& kind, std::string_view body,
                                                         CarrierCode carrier);
