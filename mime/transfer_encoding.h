// Content-Transfer-Encoding of a body: base64 (RFC 2045 6.8) and quoted-printable (6.7).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Identity: 7bit, 8bit, binary or no declaration at all; Unknown: any other value, a body
// nobody can read.
enum class TransferEncoding { Identity, Base64, QuotedPrintable, Unknown };

// By the header's value, blanks trimmed, compared without regard to case.
[[nodiscard]] TransferEncoding ClassifyTransferEncoding(std::string_view value);

// The text of a body in its encoding: the body itself, or its decoded bytes kept in storage.
// Nothing when it cannot be decoded: an unknown encoding, an invalid body, or a text holding
// a NUL byte, which the host's NUL-terminated strings would cut short.
[[nodiscard]] std::optional<std::string_view> DecodeText(TransferEncoding encoding, std::string_view body,
                                                         std::string& storage);
// A body in the encoding again, in lines of at most 76 characters, ending with CR LF;
// Identity and Unknown give the text as it is.
[[nodiscard]] std::string EncodeText(TransferEncoding encoding, std::string_view text);

// The decoded bytes, or nothing when the body is not valid in its encoding.
[[nodiscard]] std::optional<std::string> DecodeBase64(std::string_view body);
[[nodiscard]] std::optional<std::string> DecodeQuotedPrintable(std::string_view body);
[[nodiscard]] std::string EncodeBase64(std::string_view bytes);
[[nodiscard]] std::string EncodeQuotedPrintable(std::string_view bytes);
