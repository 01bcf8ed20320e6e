#include "mime/transfer_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(ClassifyTransferEncoding, OnlyWhatCanBeReadIsRead) {
    const struct {
        const char* value;
        TransferEncoding encoding;
    } cases[] = {
        {"", TransferEncoding::Identity},          {" 7bit", TransferEncoding::Identity},
        {"8BIT ", TransferEncoding::Identity},     {"Binary", TransferEncoding::Identity},
        {"base64", TransferEncoding::Base64},      {" BASE64\t", TransferEncoding::Base64},
        {"Quoted-Printable", TransferEncoding::QuotedPrintable},
        {"x-uuencode", TransferEncoding::Unknown}, {"base64 (c)", TransferEncoding::Unknown},
        {"7bit8bit", TransferEncoding::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyTransferEncoding(c.value), c.encoding) << c.value;
}

TEST(DecodeText, ATextHoldingNulOrOfUnknownEncodingCannotBeRead) {
    std::string storage;
    EXPECT_EQ(DecodeText(TransferEncoding::Identity, "ab", storage), std::optional<std::string_view>("ab"));
    EXPECT_EQ(DecodeText(TransferEncoding::Base64, "YWI=\r\n", storage), std::optional<std::string_view>("ab"));
    EXPECT_FALSE(DecodeText(TransferEncoding::Base64, "c3Vu+J8Af/8=", storage));  // "sun" F8 9F 00 7F FF
    EXPECT_FALSE(DecodeText(TransferEncoding::QuotedPrintable, "a=00b", storage));
    EXPECT_FALSE(DecodeText(TransferEncoding::Identity, std::string_view("a\0b", 3), storage));
    EXPECT_FALSE(DecodeText(TransferEncoding::Base64, "*", storage));
    EXPECT_FALSE(DecodeText(TransferEncoding::Unknown, "ab", storage));
}

// Every line of an encoded body, CR LF included, and whether each ends with CR LF.
void ExpectShortLines(const std::string& encoded, const std::string& what) {
    ASSERT_GE(encoded.size(), 2u) << what;
    EXPECT_EQ(encoded.substr(encoded.size() - 2), "\r\n") << what;
    size_t start = 0;
    for (size_t end = encoded.find("\r\n"); end != std::string::npos; end = encoded.find("\r\n", start)) {
        EXPECT_LE(end - start, 76u) << what;
        const std::string_view line = std::string_view(encoded).substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string_view::npos) << what;
        if (!line.empty()) {
            EXPECT_TRUE(line.back() != ' ' && line.back() != '\t') << what;
        }
        start = end + 2;
    }
    EXPECT_EQ(start, encoded.size()) << what;
}

TEST(EncodeText, DecodesBackToEveryByteInLinesOfAtMost76) {
    uint32_t seed = 7;
    const auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    const char* pieces[] = {"\r\n", " ", "\t", "=", "\r", "\n", "\x1B$B", "\xF8\x9F", "abcdefghij", ".", "\r\n\r\n"};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (int i = next() % 60; i > 0; --i) text += round % 3 == 0 ? std::string(1, static_cast<char>(next() % 255 + 1))
                                                                     : std::string(pieces[next() % 11]);
        const std::string qp = EncodeQuotedPrintable(text);
        const std::string b64 = EncodeBase64(text);
        EXPECT_EQ(DecodeQuotedPrintable(qp), text) << round << ": " << qp;
        EXPECT_EQ(DecodeBase64(b64), text) << round;
        if (!text.empty()) {
            ExpectShortLines(qp, "quoted-printable " + std::to_string(round));
            ExpectShortLines(b64, "base64 " + std::to_string(round));
        }
    }
}

TEST(EncodeText, QuotedPrintableKeepsHardBreaksAndMarksTheRest) {
    EXPECT_EQ(EncodeQuotedPrintable("a=b \r\nc\td \r\n"), "a=3Db=20\r\nc\td=20\r\n");
    EXPECT_EQ(EncodeQuotedPrintable("\x1B$B%F\x1B(B<p>"), "=1B$B%F=1B(B<p>=\r\n");
    EXPECT_EQ(EncodeQuotedPrintable(std::string(76, 'x') + "\r\n"), std::string(76, 'x') + "\r\n");
    EXPECT_EQ(EncodeQuotedPrintable(std::string(76, 'x')), std::string(75, 'x') + "=\r\nx=\r\n");
    // An escape is never cut by a soft break.
    EXPECT_EQ(EncodeQuotedPrintable(std::string(74, 'x') + "=\r\n"), std::string(74, 'x') + "=\r\n=3D\r\n");
    std::string groups;
    for (int i = 0; i < 19; ++i) groups += "YWFh";  // "aaa"
    EXPECT_EQ(EncodeBase64(std::string(57, 'a') + "b"), groups + "\r\nYg==\r\n");
    EXPECT_EQ(EncodeText(TransferEncoding::Identity, "a\r\n"), "a\r\n");
}

}  // namespace
