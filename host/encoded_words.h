// RFC 2047 encoded words in a header value ("=?charset?B?...?=" and "=?charset?Q?...?="),
// turned into the bytes they carry, in their own charset: nothing is re-encoded.
#pragma once

#include <string>
#include <string_view>

// Blanks between two encoded words go; a word that does not decode stays as it is.
[[nodiscard]] std::string DecodeEncodedWords(std::string_view value);
