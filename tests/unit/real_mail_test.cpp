// Mail as real senders write it: NUL bytes in decoded text, decorated (HTML) parts, header
// spellings, transfer encodings and charsets that cannot be read.
#include <gtest/gtest.h>

#include "mime/transfer_encoding.h"
#include "settings/plugin_settings.h"
#include "shell/convert_command.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

// au's sun: JIS 7541 in ISO-2022-JP, F660 in Shift-JIS.
const std::string AU_SUN = "<img src=\"file://localhost/C:/G/au/F660.gif\">";
// A JPEG's first bytes, as an attachment carries them.
const std::string JPEG_PART = "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n\r\n/9j/4AAQSkZJRgABAQ==\r\n";

class RealMail : public Rewrite {
protected:
    void SetUp() override {
        Rewrite::SetUp();
        g_mapAU.Store(0xF660, AU_SUN);
    }
    void TearDown() override {
        g_mapAU = PictographMap();
        Rewrite::TearDown();
    }

    // The message with the marker as its last header line and the body as it came.
    static std::string MarkedOnly(const std::string& header, const std::string& body) {
        return header + "CreateZaverGlyphory: true\r\n\r\n" + body;
    }
};

TEST_F(RealMail, ADecodedTextHoldingNulStaysByteForByteWithWhatFollows) {
    const std::string header = "From: a@docomo.ne.jp\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n";
    for (const std::string& text : {std::string("Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                                                "c3VuIPifAGFmdGVy\r\n"),  // "sun " F8 9F 00 "after"
                                    std::string("Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                                                "\r\nsun =F8=9F=00after\r\n")}) {
        const std::string body = "--m\r\n" + text + "--m\r\n" + JPEG_PART + "--m--\r\n";
        bool changed = false;
        EXPECT_EQ(RewriteMessage(header + "\r\n" + body, "", true, changed, CARRIER_DOCOMO), MarkedOnly(header, body));
        EXPECT_TRUE(changed);
    }
    // The same bytes in an HTML part: left as they are.
    const std::string html = "--m\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                             "<p>=F8=9F=00</p>\r\n--m--\r\n";
    bool changed = false;
    EXPECT_EQ(RewriteMessage(header + "\r\n" + html, "", true, changed, CARRIER_DOCOMO), MarkedOnly(header, html));
}

TEST_F(RealMail, APartWhoseDecodedTextHoldsTheDelimiterStays) {
    const std::string header = "Content-Type: multipart/mixed; boundary=\"b\"\r\n";
    // Base64 of F8 9F CR LF "--b" CR LF: converted, the plain part would end the entity early.
    const std::string body = "--b\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                             "+J8NCi0tYg0K\r\n--b--\r\n";
    bool changed = false;
    EXPECT_EQ(RewriteMessage(header + "\r\n" + body, "", true, changed, CARRIER_DOCOMO), MarkedOnly(header, body));
}

TEST_F(RealMail, TheHostNeverReceivesATextWithNul) {
    BindBuiltinHost(g_hostApi);
    g_pSettings = std::make_unique<CPluginSettings>("");
    g_pSettings->m_listDocomo = {"docomo.ne.jp"};
    const std::string message = "From: a@docomo.ne.jp\r\nContent-Type: text/html; charset=Shift_JIS\r\n\r\nA\xF8\x9F" "B\r\n";
    TheMailHost().SetCurrentMessage(message);
    ConvertCurrentMail(0, 0);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 1);  // converted as usual
    // An image tag that would carry a NUL into the result (a Shift-JIS HTML part is not
    // passed through the host's converter): the message stays as it was.
    g_mapDocomo.Store(0xF89F, std::string("<img\0>", 6));
    TheMailHost().SetCurrentMessage(message);
    ConvertCurrentMail(0, 0);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
    EXPECT_EQ(TheMailHost().CurrentSource(), message);
    g_pSettings.reset();
}

// A decorated au mail: text and HTML side by side, the HTML in quoted-printable ISO-2022-JP,
// a pictograph in the text, one outside markup and one inside an attribute.
TEST_F(RealMail, DecoratedMailGetsImagesInItsHtmlPartToo) {
    const std::string html = "<HTML><BODY><FONT color=3D\"#0000FF\" title=3D\"=1B$BuA=1B(B\">=1B$B%F%9%HuA=1B(B</FONT></BO=\r\n"
                             "DY></HTML>\r\n";
    const std::string htmlPart = "Content-Type: text/html; charset=\"iso-2022-jp\"\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + html;
    const std::string image = "Content-Type: image/gif\r\nContent-ID: <i1>\r\n\r\nGIF89a\r\n";
    const std::string source =
        "From: a@ezweb.ne.jp\r\nContent-Type: multipart/related; boundary=\"r\"\r\n\r\n"
        "--r\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
        "--a\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\n\x1B$BuA\x1B(B\r\n"
        "--a\r\n" + htmlPart + "--a--\r\n"
        "--r\r\n" + image + "--r--\r\n";
    bool changed = false;
    const std::string out = RewriteMessage(source, "", true, changed, CARRIER_AU);
    ASSERT_TRUE(changed);
    // Every byte of the sender's stays; the tag leaves the two-byte set for itself.
    const std::string expectedHtml = "<HTML><BODY><FONT color=\"#0000FF\" title=\"\x1B$BuA\x1B(B\">\x1B$B%F%9%H\x1B(B" +
                                     AU_SUN + "\x1B(B</FONT></BODY></HTML>\r\n";
    const std::string expectedPart = "Content-Type: text/html; charset=\"iso-2022-jp\"\r\n"
                                     "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
                                     EncodeQuotedPrintable(expectedHtml);
    EXPECT_EQ(Normalized(out),
              "From: a@ezweb.ne.jp\r\nContent-Type: multipart/related; boundary=\"r\"\r\nCreateZaverGlyphory: true\r\n\r\n"
              "--r\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
              "--a\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "ISO-2022-JP", "7bit", "\x1B$BuA\x1B(B\r\n", AU_SUN + "<BR>") +
                  "--a\r\n" + expectedPart + "--a--\r\n--r\r\n" + image + "--r--\r\n");
    EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(expectedHtml)), expectedHtml);
}

TEST_F(RealMail, ShiftJisHtmlInBase64IsConvertedAsItIsAndWrittenBackInBase64) {
    const std::string html = "<div>A\xF8\x9F<img src=\"cid:i1\" alt=\"\xF8\x9F\">\x81\xF8\x9F\x40</div>\r\n";
    const std::string header = "Content-Type: text/html; charset=\"Shift_JIS\"\r\nContent-Transfer-Encoding: Base64\r\n";
    bool changed = false;
    const std::string out = RewriteMessage(header + "\r\n" + EncodeBase64(html), "", false, changed, CARRIER_DOCOMO);
    EXPECT_TRUE(changed);
    // 81 F8 is one character: the F8 9F after it is no pictograph.
    EXPECT_EQ(out, header + "\r\n" + EncodeBase64("<div>A" + SUN + "<img src=\"cid:i1\" alt=\"\xF8\x9F\">\x81\xF8\x9F\x40</div>\r\n"));
    // At the top level the marker is the one header line added; 8bit stays 8bit.
    const std::string eightBit = "Content-Type: text/html; charset=\"Shift_JIS\"\r\nContent-Transfer-Encoding: 8bit\r\n";
    changed = false;
    EXPECT_EQ(RewriteMessage(eightBit + "\r\n" + html, "", true, changed, CARRIER_DOCOMO),
              eightBit + "CreateZaverGlyphory: true\r\n\r\n<div>A" + SUN + "<img src=\"cid:i1\" alt=\"\xF8\x9F\">\x81\xF8\x9F\x40</div>\r\n");
}

TEST_F(RealMail, HtmlThatCannotBeReadOrHoldsNoCodeStaysByteForByte) {
    for (const std::string& part :
         {std::string("Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>no pictograph</p>\r\n"),
          std::string("Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p title=\"\xF8\x9F\">x</p>\r\n"),
          std::string("Content-Type: text/html; charset=UTF-8\r\n\r\n\xF8\x9F\r\n"),
          std::string("Content-Type: text/html; charset=EUC-JP\r\n\r\n\xF8\x9F\r\n"),
          std::string("Content-Type: text/html; charset=Shift_JIS\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n\xF8\x9F\r\n"),
          std::string("Content-Type: text/html; charset=Shift_JIS\r\nContent-Transfer-Encoding: base64\r\n\r\n+J8=*\r\n")}) {
        bool changed = false;
        EXPECT_EQ(RewriteMessage(part, "\xF8\x9F", false, changed, CARRIER_DOCOMO), part);
        EXPECT_FALSE(changed) << part;
    }
}

TEST_F(RealMail, HeadersWithoutBlankAndInOtherCaseAreRead) {
    const std::string source = "From: a@softbank.ne.jp\r\nContent-Type:multipart/alternative;\r\n  boundary=\"s_821SH\"\r\n\r\n"
                               "--s_821SH\r\nCONTENT-TYPE:TEXT/PLAIN;CHARSET=SHIFT_JIS\r\ncontent-transfer-encoding:8bit\r\n\r\n"
                               "\xF8\x9F\r\n--s_821SH--\r\n";
    bool changed = false;
    const std::string out = RewriteMessage(source, "", true, changed, CARRIER_DOCOMO);
    EXPECT_EQ(Normalized(out),
              "From: a@softbank.ne.jp\r\nContent-Type:multipart/alternative;\r\n  boundary=\"s_821SH\"\r\n"
              "CreateZaverGlyphory: true\r\n\r\n--s_821SH\r\ncontent-transfer-encoding:8bit\r\n"
              "Content-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n" +
                  Alternative(1, "SHIFT_JIS", "8bit", "\xF8\x9F\r\n", SUN + "<BR>") + "--s_821SH--\r\n");
}

TEST_F(RealMail, TextThatCannotBeReadGetsOnlyTheMarker) {
    const std::string header = "From: a@docomo.ne.jp\r\n";
    for (const std::string& fields : {std::string("Content-Type: text/plain\r\nContent-Transfer-Encoding: x-uuencode\r\n"),
                                      std::string("Content-Type: text/plain\r\nContent-Transfer-Encoding: base64 (c)\r\n"),
                                      std::string("Content-Type: text/plain; charset=\"Shift_JIS\r\"\r\n"),
                                      std::string("Content-Type: text/plain; charset=\"Shift JIS\"\r\n"),
                                      std::string("Content-Type: text/plain; charset=\"a\\\"b\"\r\n"),
                                      std::string("Content-Type: text/plain; charset=EUC-JP\r\n"),
                                      std::string("Content-Type: text/plain; charset=utf-16\r\n")}) {
        bool changed = false;
        EXPECT_EQ(RewriteMessage(header + fields + "\r\n\xF8\x9F\r\n", "\xF8\x9F", true, changed, CARRIER_DOCOMO),
                  MarkedOnly(header + fields, "\xF8\x9F\r\n"));
        EXPECT_TRUE(changed);
    }
}

}  // namespace
