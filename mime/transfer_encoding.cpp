#include "mime/transfer_encoding.h"
#include "base/bytes.h"

#include <algorithm>

namespace {

int Base64Value(unsigned char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

bool IsWhitespace(unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

}  // namespace

TransferEncoding ClassifyTransferEncoding(std::string_view value) {
    value = Trim(value);
    if (value.empty()) return TransferEncoding::Identity;
    if (EqualsIgnoringCase(value, "base64")) return TransferEncoding::Base64;
    if (EqualsIgnoringCase(value, "quoted-printable")) return TransferEncoding::QuotedPrintable;
    for (const std::string_view identity : {"7bit", "8bit", "binary"})
        if (EqualsIgnoringCase(value, identity)) return TransferEncoding::Identity;
    return TransferEncoding::Unknown;
}

std::optional<std::string_view> DecodeText(TransferEncoding encoding, std::string_view body, std::string& storage) {
    std::string_view text = body;
    if (encoding == TransferEncoding::Unknown) return std::nullopt;
    if (encoding != TransferEncoding::Identity) {
        std::optional<std::string> decoded =
            encoding == TransferEncoding::Base64 ? DecodeBase64(body) : DecodeQuotedPrintable(body);
        if (!decoded) return std::nullopt;
        storage = std::move(*decoded);
        text = storage;
    }
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    return text;
}

std::string EncodeText(TransferEncoding encoding, std::string_view text) {
    if (encoding == TransferEncoding::Base64) return EncodeBase64(text);
    if (encoding == TransferEncoding::QuotedPrintable) return EncodeQuotedPrintable(text);
    return std::string(text);
}

// Line breaks and blanks between the characters are ignored; '=' pads the last group only.
std::optional<std::string> DecodeBase64(std::string_view body) {
    std::string out;
    out.reserve(body.size() / 4 * 3);
    unsigned bits = 0;
    int count = 0, padding = 0;
    for (const char c : body) {
        const auto ch = static_cast<unsigned char>(c);
        if (IsWhitespace(ch)) continue;
        if (ch == '=') {
            ++padding;
            continue;
        }
        const int value = Base64Value(ch);
        if (value < 0 || padding > 0) return std::nullopt;
        bits = bits << 6 | static_cast<unsigned>(value);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    // The last group: 2 or 3 characters with their padding (or without, as some senders do).
    if (count == 1 || padding > 2 || (padding > 0 && count + padding != 4)) return std::nullopt;
    if (count == 2) out += static_cast<char>(bits >> 4);
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

// "=" and two hexadecimal digits is a byte; "=" at the end of a line joins it to the next.
std::optional<std::string> DecodeQuotedPrintable(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '=') {
            out += body[i];
            continue;
        }
        size_t j = i + 1;
        while (j < body.size() && (body[j] == ' ' || body[j] == '\t')) ++j;
        if (body.substr(j, 2) == "\r\n" || j == body.size()) {
            i = j == body.size() ? j : j + 1;
            continue;
        }
        if (body.substr(j, 1) == "\n") {
            i = j;
            continue;
        }
        const int high = i + 1 < body.size() ? HexDigitValue(static_cast<unsigned char>(body[i + 1])) : -1;
        const int low = i + 2 < body.size() ? HexDigitValue(static_cast<unsigned char>(body[i + 2])) : -1;
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}

std::string EncodeBase64(std::string_view bytes) {
    constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    constexpr size_t LINE = 76;  // characters, 19 groups of four
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4 + (bytes.size() / 57 + 1) * 2);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        unsigned bits = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1) bits |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (n > 2) bits |= static_cast<unsigned char>(bytes[i + 2]);
        out += ALPHABET[bits >> 18 & 63];
        out += ALPHABET[bits >> 12 & 63];
        out += n > 1 ? ALPHABET[bits >> 6 & 63] : '=';
        out += n > 2 ? ALPHABET[bits & 63] : '=';
        if ((column += 4) == LINE) {
            out += "\r\n";
            column = 0;
        }
    }
    if (column > 0) out += "\r\n";
    return out;
}

// CR LF stays a line break; '=', control bytes, bytes above 0x7E and a blank before a line
// break are written as "=XX"; a line longer than 76 characters is broken with "=" CR LF.
std::string EncodeQuotedPrintable(std::string_view bytes) {
    constexpr char HEX[] = "0123456789ABCDEF";
    constexpr size_t LINE = 76;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8 + 3);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto ch = static_cast<unsigned char>(bytes[i]);
        if (ch == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool blank = ch == ' ' || ch == '\t';
        const bool beforeBreak = bytes.substr(i + 1, 2) == "\r\n";
        const bool literal = (ch >= 33 && ch <= 126 && ch != '=') || (blank && !beforeBreak && i + 1 < bytes.size());
        const size_t width = literal ? 1 : 3;
        // Room for a soft break's '=' unless a hard break follows.
        if (column + width > (beforeBreak ? LINE : LINE - 1)) {
            out += "=\r\n";
            column = 0;
        }
        if (literal) {
            out += static_cast<char>(ch);
        } else {
            out += '=';
            out += HEX[ch >> 4];
            out += HEX[ch & 15];
        }
        column += width;
    }
    // The entity's body must end with a line break, or the next delimiter would not begin a line.
    if (column > 0) out += "=\r\n";
    return out;
}
