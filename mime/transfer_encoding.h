// Content-Transfer-Encoding of a body: base64 (RFC 2045 6.8) and quoted-printable (6.7).
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class TransferEncoding { Identity, Base64, QuotedPrintable };

// By the header's value, blanks trimmed, compared without regard to case; 7bit, 8bit,
// binary, an unknown value and no value at all take the body as it stands.
[[nodiscard]] TransferEncoding ClassifyTransferEncoding(std::string_view value);

// The decoded bytes, or nothing when the body is not valid in its encoding.
[[nodiscard]] std::optional<std::string> DecodeBase64(std::string_view body);
[[nodiscard]] std::optional<std::string> DecodeQuotedPrintable(std::string_view body);
