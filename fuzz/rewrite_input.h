// A fuzz input rewritten as a whole message, for the targets that check whole messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "mime/message_rewriter.h"

struct RewrittenInput {
    std::string source;
    std::string out;
    bool changed = false;
};

// The input rewritten as Docomo mail, whose Subject holds a pictograph when the first byte is
// odd. Whatever the input, a result that did not change is the input, and no NUL appears that
// the input did not hold.
inline RewrittenInput RewriteInput(const uint8_t* data, size_t size) {
    RewrittenInput input{std::string(reinterpret_cast<const char*>(data), size)};
    const std::string_view subject = size > 0 && data[0] % 2 ? "\xF8\x9F" : "s";
    input.out = RewriteMessage(input.source, subject, true, input.changed, CARRIER_DOCOMO);
    Check(input.changed || input.out == input.source);
    Check(input.source.find('\0') != std::string::npos || input.out.find('\0') == std::string::npos);
    return input;
}
