#include "mime/transfer_encoding.h"
#include "mime/ascii_case.h"

namespace {

int Base64Value(unsigned char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

int HexValue(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

bool IsWhitespace(unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

}  // namespace

TransferEncoding ClassifyTransferEncoding(std::string_view value) {
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos) return TransferEncoding::Identity;
    value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
    if (EqualsIgnoringCase(value, "base64")) return TransferEncoding::Base64;
    if (EqualsIgnoringCase(value, "quoted-printable")) return TransferEncoding::QuotedPrintable;
    return TransferEncoding::Identity;
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
        const int high = i + 1 < body.size() ? HexValue(static_cast<unsigned char>(body[i + 1])) : -1;
        const int low = i + 2 < body.size() ? HexValue(static_cast<unsigned char>(body[i + 2])) : -1;
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}
