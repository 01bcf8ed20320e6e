// The boundaries of the multipart entities the rewrite makes: each new, from a GUID.
#pragma once

#include <string>
#include <string_view>

// 64 bytes: "--------_", 32 hexadecimal digits of a new GUID, "_MULTIPART_ALTERNATIVE_".
[[nodiscard]] std::string MakeAlternativeBoundary();

// A new boundary for a multipart/related entity of ours: no run of hyphens in it, which a
// sender's boundary of hyphens could be found in.
[[nodiscard]] std::string MakeRelatedBoundary();
