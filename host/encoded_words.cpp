#include "host/encoded_words.h"

#include <optional>

#include "base/bytes.h"
#include "mime/transfer_encoding.h"

namespace {

std::optional<std::string> DecodeQ(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=') {
            const int high = i + 1 < text.size() ? HexDigitValue(static_cast<unsigned char>(text[i + 1])) : -1;
            const int low = i + 2 < text.size() ? HexDigitValue(static_cast<unsigned char>(text[i + 2])) : -1;
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high << 4 | low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// RFC 2047: an encoded word is at most 75 characters. Looking no further keeps a header of
// many unterminated "=?" linear.
constexpr size_t MAX_ENCODED_WORD = 75;

// The encoded word at the start of text and its length, when there is one.
std::optional<std::string> DecodeWordAt(std::string_view text, size_t& length) {
    if (text.substr(0, 2) != "=?") return std::nullopt;
    text = text.substr(0, MAX_ENCODED_WORD);
    const size_t charsetEnd = text.find('?', 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
        return std::nullopt;
    const char encoding = text[charsetEnd + 1];
    const size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view payload = text.substr(charsetEnd + 3, end - charsetEnd - 3);
    if (payload.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
    std::optional<std::string> bytes;
    if (encoding == 'B' || encoding == 'b') bytes = DecodeBase64(payload);
    if (encoding == 'Q' || encoding == 'q') bytes = DecodeQ(payload);
    if (bytes) length = end + 2;
    return bytes;
}

}  // namespace

std::string DecodeEncodedWords(std::string_view value) {
    std::string out;
    bool afterWord = false;  // blanks after an encoded word wait to see what follows them
    std::string blanks;
    for (size_t i = 0; i < value.size();) {
        size_t length = 0;
        if (const auto word = DecodeWordAt(value.substr(i), length)) {
            if (!afterWord) out += blanks;
            blanks.clear();
            out += *word;
            i += length;
            afterWord = true;
            continue;
        }
        if (value[i] == ' ' || value[i] == '\t') {
            blanks += value[i++];
            continue;
        }
        out += blanks;
        blanks.clear();
        out += value[i++];
        afterWord = false;
    }
    return out + blanks;
}
