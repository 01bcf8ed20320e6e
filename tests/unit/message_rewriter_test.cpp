#include "mime/message_rewriter.h"

#include <set>

#include <gtest/gtest.h>

#include "mime/boundary.h"
#include "mime/transfer_encoding.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

const std::string PLAIN_HEADER = "From: a@docomo.ne.jp\r\nSubject: x\r\nContent-Type: text/plain; charset=\"Shift_JIS\"\r\n";

TEST_F(Rewrite, PictographInTheBodyOnly) {
    bool changed = false;
    const std::string out = RewriteMessage(PLAIN_HEADER + "\r\nA\xF8\x9F" "B\r\n<ok>", "x", true, changed, CARRIER_DOCOMO);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Normalized(out),
              "From: a@docomo.ne.jp\r\nSubject: x\r\nCreateZaverGlyphory: true\r\n"
              "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "Shift_JIS", "8bit", "A\xF8\x9F" "B\r\n<ok>", "A" + SUN + "B<BR>&lt;ok&gt;"));
}

TEST_F(Rewrite, PictographInTheSubjectOnly) {
    bool changed = false;
    const std::string source = "Subject: x\r\nContent-Type: text/plain\r\n\r\nhello";
    const std::string out = RewriteMessage(source, "sun\xF8\x9F", true, changed, CARRIER_DOCOMO);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Normalized(out),
              "Subject: x\r\nCreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "ISO-2022-JP", "7bit", "hello", "Subject:sun" + SUN + SUBJECT_BLOCK_END + "hello"));
}

TEST_F(Rewrite, PictographInBothAndAnEmptyBody) {
    bool changed = false;
    std::string out = RewriteMessage("Content-Type: text/plain\r\n\r\n\xF8\x9F", "\xF8\x9F", true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out), "CreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                                   Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F", "Subject:" + SUN + SUBJECT_BLOCK_END + SUN));
    out = RewriteMessage("Content-Type: text/plain\r\n\r\n", "\xF8\x9F", true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out), "CreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                                   Alternative(1, "ISO-2022-JP", "7bit", "", "Subject:" + SUN + SUBJECT_BLOCK_END));
}

TEST_F(Rewrite, NoPictographAtTheTopGetsOnlyTheMarker) {
    bool changed = false;
    const std::string source = "A: 1\r\nContent-Type: text/plain\r\n\r\nbody\r\n\r\n\xF8\xA0";
    EXPECT_EQ(RewriteMessage(source, "s", true, changed, CARRIER_DOCOMO),
              "A: 1\r\nContent-Type: text/plain\r\nCreateZaverGlyphory: true\r\n\r\nbody\r\n\r\n\xF8\xA0");
    EXPECT_TRUE(changed);
    changed = false;
    EXPECT_EQ(RewriteMessage("A: 1\r\nContent-Type: text/plain\r\n", "s", true, changed, CARRIER_DOCOMO),
              "A: 1\r\nContent-Type: text/plain\r\nCreateZaverGlyphory: true\r\n\r\n");
    EXPECT_TRUE(changed);
}

TEST_F(Rewrite, APartWithoutPictographStaysAsItCame) {
    bool changed = false;
    const std::string source = "Content-Type: text/plain\r\n\r\nbody";
    EXPECT_EQ(RewriteMessage(source, "s", false, changed, CARRIER_DOCOMO), source);
    EXPECT_FALSE(changed);
}

TEST_F(Rewrite, NeitherKindIsLeftAloneWithoutMarker) {
    for (const std::string source :
         {"Content-Type: application/octet-stream\r\n\r\n\xF8\x9F", "Subject: a\r\n\r\n\xF8\x9F",
          "Content-Type: text/html\r\n\r\nno code",
          "Content-Type : text/plain\r\n\r\n\xF8\x9F",
          "Content-Type: multipart/signed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n\xF8\x9F\r\n--b--",
          "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\nContent-Type: text/plain\r\n\r\n\xF8\x9F"}) {
        bool changed = false;
        EXPECT_EQ(RewriteMessage(source, "\xF8\x9F", true, changed, CARRIER_DOCOMO), source);
        EXPECT_FALSE(changed) << source;
    }
}

TEST_F(Rewrite, OldMarkerAndSecondContentType) {
    bool changed = false;
    const std::string out = RewriteMessage(
        "CreateZaverGlyphory: TRUE\r\nContent-Type: text/plain\r\nX: 1\r\nContent-Type: text/html\r\n\r\n\xF8\x9F",
        "", true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out),
              "X: 1\r\nContent-Type: text/html\r\nCreateZaverGlyphory: true\r\n"
              "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F", SUN));
}

TEST_F(Rewrite, FoldedContentTypeGoesWithItsContinuationLines) {
    bool changed = false;
    const std::string out = RewriteMessage("Content-Type: text/plain;\r\n\tcharset=\"Shift_JIS\"\r\nX: 1\r\n\r\n\xF8\x9F", "",
                                           true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out), "X: 1\r\nCreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                                   Alternative(1, "Shift_JIS", "8bit", "\xF8\x9F", SUN));
}

TEST_F(Rewrite, TwoRewritesDifferInBoundary) {
    bool changed = false;
    const std::string source = "Content-Type: text/plain\r\n\r\n\xF8\x9F";
    const std::string a = RewriteMessage(source, "", true, changed, CARRIER_DOCOMO);
    const std::string b = RewriteMessage(source, "", true, changed, CARRIER_DOCOMO);
    EXPECT_NE(a, b);
    EXPECT_EQ(Normalized(a), Normalized(b));
    std::set<std::string> boundaries;
    for (int i = 0; i < 1000; ++i) boundaries.insert(MakeAlternativeBoundary());
    EXPECT_EQ(boundaries.size(), 1000u);
    EXPECT_EQ(MakeAlternativeBoundary().size(), 64u);
}

const std::string JPEG_PART = "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n\r\n/9j/4AAQ\r\n";

TEST_F(Rewrite, MultipartRebuiltWithPreambleAndEpilogueKept) {
    const std::string source =
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\nThis is a multi-part message in MIME format.\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nA\xF8\x9F\r\n--b\r\n" + JPEG_PART + "--b--\r\nepilogue\r\n";
    bool changed = false;
    const std::string out = RewriteMessage(source, "subj", true, changed, CARRIER_DOCOMO);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Normalized(out),
              "Content-Type: multipart/mixed; boundary=\"b\"\r\nCreateZaverGlyphory: true\r\n\r\n"
              "This is a multi-part message in MIME format.\r\n"
              "--b\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "ISO-2022-JP", "8bit", "A\xF8\x9F\r\n", "A" + SUN + "<BR>") + "--b\r\n" + JPEG_PART +
                  "--b--\r\nepilogue\r\n");
}

TEST_F(Rewrite, MultipartWithoutPictographKeepsItsBody) {
    const std::string body = "pre\r\n--b\r\nContent-Type: text/plain\r\n\r\nA\r\n--b\r\n" + JPEG_PART + "--b--\r\nepi";
    bool changed = false;
    EXPECT_EQ(RewriteMessage("Content-Type: multipart/mixed; boundary=b\r\n\r\n" + body, "", true, changed, CARRIER_DOCOMO),
              "Content-Type: multipart/mixed; boundary=b\r\nCreateZaverGlyphory: true\r\n\r\n" + body);
    EXPECT_TRUE(changed);
}

TEST_F(Rewrite, SubjectPictographConvertsEveryTextPart) {
    const std::string source =
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\none\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\ntwo\r\n--b--\r\n";
    bool changed = false;
    const std::string out = Normalized(RewriteMessage(source, "\xF8\x9F", true, changed, CARRIER_DOCOMO));
    const std::string block = "Subject:" + SUN + SUBJECT_BLOCK_END;
    EXPECT_EQ(out, "Content-Type: multipart/mixed; boundary=\"b\"\r\nCreateZaverGlyphory: true\r\n\r\n"
                   "--b\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                       Alternative(1, "ISO-2022-JP", "7bit", "one\r\n", block + "one<BR>") +
                       "--b\r\nContent-Type: multipart/alternative; boundary=\"<B2>\"\r\n\r\n" +
                       Alternative(2, "ISO-2022-JP", "7bit", "two\r\n", block + "two<BR>") + "--b--\r\n");
}

TEST_F(Rewrite, NestedMultipartRebuiltAtEachChangedLevel) {
    const std::string inner = "Content-Type: multipart/alternative; boundary=\"in\"\r\n\r\n--in\r\nContent-Type: text/plain\r\n\r\n"
                              "\xF8\x9F\r\n--in\r\nContent-Type: text/html\r\n\r\n<p>\r\n--in--\r\n";
    const std::string other = "Content-Type: multipart/related; boundary=\"o\"\r\n\r\n--o\r\nContent-Type: text/plain\r\n\r\nno\r\n--o--\r\n";
    const std::string source = "Content-Type: multipart/mixed; boundary=\"out\"\r\n\r\n--out\r\n" + inner + "--out\r\n" + other + "--out--\r\n";
    bool changed = false;
    const std::string out = Normalized(RewriteMessage(source, "", true, changed, CARRIER_DOCOMO));
    EXPECT_EQ(out, "Content-Type: multipart/mixed; boundary=\"out\"\r\nCreateZaverGlyphory: true\r\n\r\n--out\r\n"
                   "Content-Type: multipart/alternative; boundary=\"in\"\r\n\r\n--in\r\n"
                   "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                       Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F\r\n", SUN + "<BR>") +
                       "--in\r\nContent-Type: text/html\r\n\r\n<p>\r\n--in--\r\n--out\r\n" + other + "--out--\r\n");
}

TEST_F(Rewrite, ATextThatWouldBringAnEnclosingDelimiterStays) {
    // Decoded, each text holds a delimiter line of a multipart around it ("--b", then "--a" two
    // levels up): written out, it would cut that body anew. The part stays; the text beside it
    // converts.
    const std::string holdsOwn = "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nLS1iDQr4nw==\r\n";
    const std::string holdsOuter = "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\neA0KLS1hIHn4nw==\r\n";
    const std::string plain = "Content-Type: text/plain\r\n\r\n\xF8\x9F\r\n";
    const std::string inner = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + holdsOwn + "--b\r\n" + plain + "--b--\r\n";
    const std::string outer = "Content-Type: multipart/mixed; boundary=c\r\n\r\n--c\r\n" + holdsOuter + "--c--\r\n";
    const std::string source = "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\n" + inner + "--a\r\n" + outer + "--a--\r\n";
    bool changed = false;
    const std::string out = Normalized(RewriteMessage(source, "", true, changed, CARRIER_DOCOMO));
    EXPECT_EQ(out, "Content-Type: multipart/mixed; boundary=a\r\nCreateZaverGlyphory: true\r\n\r\n--a\r\n"
                   "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + holdsOwn +
                       "--b\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                       Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F\r\n", SUN + "<BR>") + "--b--\r\n--a\r\n" + outer +
                       "--a--\r\n");
}

TEST_F(Rewrite, AnInnerBoundaryThatBeginsWithAnOuterOneIsTheInnerEntitys) {
    // "--b-1" begins with the outer delimiter "--b" too; inside the entity of "b-1" it is that
    // entity's, as MIME nests them, so its text is found and converted.
    const std::string plain = "Content-Type: text/plain\r\n\r\n\xF8\x9F\r\n";
    const std::string inner = "Content-Type: multipart/alternative; boundary=b-1\r\n\r\n--b-1\r\n" + plain + "--b-1--\r\n";
    const std::string source = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + inner + "--b--\r\n";
    bool changed = false;
    EXPECT_EQ(Normalized(RewriteMessage(source, "", true, changed, CARRIER_DOCOMO)),
              "Content-Type: multipart/mixed; boundary=b\r\nCreateZaverGlyphory: true\r\n\r\n--b\r\n"
              "Content-Type: multipart/alternative; boundary=b-1\r\n\r\n--b-1\r\n"
              "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F\r\n", SUN + "<BR>") + "--b-1--\r\n--b--\r\n");
}

TEST_F(Rewrite, EntitiesThatStayAreWrittenAsTheyCameBesideAChangedOne) {
    // Unclosed: rebuilt, it would gain a closing delimiter.
    const std::string unclosed = "Content-Type: multipart/related; boundary=\"u\"\r\n\r\n--u\r\nContent-Type: text/plain\r\n\r\nno\r\n";
    const std::string padded = "Content-Type: multipart/related; boundary=p\r\n\r\npre\r\n--p  \r\n\r\nx\r\n--p--  \r\nepi\r\n";
    const std::string source = "Content-Type: multipart/mixed; boundary=\"out\"\r\n\r\n--out\r\n" + padded + "--out\r\n" +
                               unclosed + "--out\r\nContent-Type: text/plain\r\n\r\n\xF8\x9F\r\n--out\r\n" + unclosed + "--out--";
    bool changed = false;
    const std::string out = Normalized(RewriteMessage(source, "", true, changed, CARRIER_DOCOMO));
    EXPECT_EQ(out, "Content-Type: multipart/mixed; boundary=\"out\"\r\nCreateZaverGlyphory: true\r\n\r\n--out\r\n" + padded +
                       "--out\r\n" + unclosed + "--out\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                       Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F\r\n", SUN + "<BR>") + "--out\r\n" + unclosed + "--out--");
    // Unclosed, its last part converted in place and ending without a line break: the closing
    // delimiter added after it begins a line of its own.
    const std::string html = "Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>\xF8\x9F</p>";
    const std::string glued = RewriteMessage("Content-Type: multipart/mixed; boundary=\"u\"\r\n\r\n--u\r\n" + html, "", true, changed,
                                             CARRIER_DOCOMO);
    EXPECT_EQ(glued.substr(glued.size() - 13), "</p>\r\n--u--\r\n");
    // The whole message unclosed and without a pictograph: only marked.
    const std::string message = "Content-Type: multipart/mixed; boundary=\"u\"\r\n\r\n--u\r\n" + unclosed;
    EXPECT_EQ(RewriteMessage(message, "", true, changed, CARRIER_DOCOMO),
              "Content-Type: multipart/mixed; boundary=\"u\"\r\nCreateZaverGlyphory: true\r\n\r\n--u\r\n" + unclosed);
}

TEST_F(Rewrite, TransferEncodedTextIsConvertedDecoded) {
    bool changed = false;
    // "A" F8 9F "B" in base64 and in quoted-printable.
    for (const auto& [encoding, body] : {std::pair<std::string, std::string>{"base64", "QfifQg==\r\n"},
                                         {" Quoted-Printable ", "A=F8=9F=\r\nB"}}) {
        // The value folded onto a continuation line, which goes with its line.
        const std::string out = RewriteMessage("Content-Type: text/plain; charset=shift_jis\r\nContent-Transfer-Encoding:\r\n\t" +
                                                   encoding + "\r\n\r\n" + body,
                                               "", true, changed, CARRIER_DOCOMO);
        EXPECT_EQ(Normalized(out), "CreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                                       Alternative(1, "shift_jis", "8bit", "A\xF8\x9F" "B", "A" + SUN + "B"))
            << encoding;
    }
    // Not valid in its encoding: only the marker, the body as it came.
    const std::string bad = "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n+*+\r\n";
    EXPECT_EQ(RewriteMessage(bad, "\xF8\x9F", true, changed, CARRIER_DOCOMO),
              "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\nCreateZaverGlyphory: true\r\n\r\n+*+\r\n");
    bool partChanged = false;
    EXPECT_EQ(RewriteMessage(bad, "\xF8\x9F", false, partChanged, CARRIER_DOCOMO), bad);
    EXPECT_FALSE(partChanged);
}

TEST_F(Rewrite, NoEncodingDeclarationStaysOverTheAlternative) {
    bool changed = false;
    const std::string out = RewriteMessage(
        "Content-Transfer-Encoding: 8bit\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n\xF8\x9F",
        "", true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out), "Content-Transfer-Encoding: 8bit\r\nCreateZaverGlyphory: true\r\n"
                               "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                                   Alternative(1, "ISO-2022-JP", "8bit", "\xF8\x9F", SUN));
}

TEST_F(Rewrite, LfOnlyPartMatchesNoHeader) {
    // To the CR LF rules the whole header is one line; it must not be taken for Content-Type.
    const std::string part = "Content-Type: text/plain\nX: 1\n\n\xF8\x9F\n";
    bool changed = false;
    EXPECT_EQ(RewriteMessage(part, "", false, changed, CARRIER_DOCOMO), part);
    EXPECT_FALSE(changed);
}

std::string Nested(int depth, const std::string& leaf) {
    std::string message = leaf;
    for (int level = depth; level > 0; --level) {
        const std::string b = "b" + std::to_string(level) + "x";  // none begins another
        message = "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n" + message + "--" + b + "--\r\n";
    }
    return message;
}

TEST_F(Rewrite, DeepNestingIsBounded) {
    const std::string leaf = "Content-Type: text/plain\r\n\r\n\xF8\x9F\r\n";
    bool changed = false;
    EXPECT_NE(RewriteMessage(Nested(50, leaf), "", true, changed, CARRIER_DOCOMO).find(SUN), std::string::npos);
    const std::string deep = Nested(64, leaf);
    changed = false;
    EXPECT_EQ(RewriteMessage(deep, "", true, changed, CARRIER_DOCOMO).find(SUN), std::string::npos);
    EXPECT_TRUE(changed);  // the marker only

    // 100,000 levels: no stack is spent below the bound.
    std::string huge;
    for (int i = 0; i < 100000; ++i) {
        const std::string b = "z" + std::to_string(i) + "x";
        huge += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n";
    }
    changed = false;
    EXPECT_EQ(RewriteMessage(huge + leaf, "", true, changed, CARRIER_DOCOMO).find(SUN), std::string::npos);
    EXPECT_TRUE(changed);
}

// For every converted entity, its plain part holds exactly the entity's (decoded) text.
TEST_F(Rewrite, PlainPartCarriesTheTextUnchanged) {
    uint32_t seed = 11;
    const auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    const char* pieces[] = {"\xF8\x9F", "a", "\r\n", "<", "\x88\x9F", "--", "\r\n\r\n", "\xB1", "=", "\x1B$B"};
    for (int round = 0; round < 500; ++round) {
        std::string text;
        for (int i = next() % 30; i > 0; --i) text += pieces[next() % 10];
        text += "\xF8\x9F";
        const bool base64 = round % 2;
        std::string encoded = text;
        if (base64) {
            static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            encoded.clear();
            for (size_t i = 0; i < text.size(); i += 3) {
                uint32_t v = static_cast<unsigned char>(text[i]) << 16;
                if (i + 1 < text.size()) v |= static_cast<unsigned char>(text[i + 1]) << 8;
                if (i + 2 < text.size()) v |= static_cast<unsigned char>(text[i + 2]);
                encoded += alphabet[v >> 18];
                encoded += alphabet[v >> 12 & 63];
                encoded += i + 1 < text.size() ? alphabet[v >> 6 & 63] : '=';
                encoded += i + 2 < text.size() ? alphabet[v & 63] : '=';
            }
        }
        const std::string source = std::string("Content-Type: text/plain\r\n") +
                                   (base64 ? "Content-Transfer-Encoding: base64\r\n" : "") + "\r\n" + encoded;
        bool changed = false;
        const std::string out = RewriteMessage(source, "", true, changed, CARRIER_DOCOMO);
        const size_t start = out.find("Content-Transfer-Encoding: ", out.find("text/plain"));
        ASSERT_NE(start, std::string::npos);
        const size_t bodyStart = out.find("\r\n\r\n", start) + 4;
        const size_t boundary = out.find("\r\n\r\n--", bodyStart + text.size());
        ASSERT_EQ(boundary, bodyStart + text.size()) << round;
        EXPECT_EQ(out.substr(bodyStart, text.size()), text) << round;
    }
}

}  // namespace
