// The encoded-word decoder on arbitrary header values: it never grows a value (four base64
// characters carry three bytes, "=XX" one), leaves a value without "=?" as it is, and reads
// nothing past its input (the sanitizer watches the exact-size copy libFuzzer hands over).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/encoded_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const std::string decoded = DecodeEncodedWords(value);
    const bool holds = decoded.size() <= value.size() && (value.find("=?") != std::string_view::npos || decoded == value);
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %zu bytes decoded to %zu\n", value.size(), decoded.size());
        std::abort();
    }
    return 0;
}
