// Comparing names without regard to ASCII case; bytes above 0x7F compare as they are.
#pragma once

#include <string_view>

[[nodiscard]] constexpr unsigned char ToAsciiLower(unsigned char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<unsigned char>(ch + 32) : ch;
}

[[nodiscard]] constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (ToAsciiLower(static_cast<unsigned char>(text[i])) != ToAsciiLower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

[[nodiscard]] constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}
