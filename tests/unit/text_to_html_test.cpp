#include "render/text_to_html.h"

#include <gtest/gtest.h>

#include "host/iso2022jp.h"
#include "host/mail_host.h"

namespace {

const std::string SUN = "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">";

std::string Render(std::string_view text, const PictographMap& map, bool found = false) {
    return RenderSjisAsHtml(text, map, found);
}

TEST(RenderSjisAsHtml, ReplacesKnownCodesOnly) {
    PictographMap docomo;
    docomo.Store(0xF89F, SUN);
    bool found = false;
    EXPECT_EQ(RenderSjisAsHtml("A\xF8\x9F" "B", docomo, found), "A" + SUN + "B");
    EXPECT_TRUE(found);
    PictographMap softbank;
    found = false;
    EXPECT_EQ(RenderSjisAsHtml("A\xF8\x9F" "B", softbank, found), "A\xF8\x9F" "B");
    EXPECT_FALSE(found);
    found = true;
    EXPECT_EQ(RenderSjisAsHtml("plain", softbank, found), "plain");
    EXPECT_TRUE(found);  // never cleared
    found = false;
    EXPECT_EQ(RenderSjisAsHtml("", docomo, found), "");
    EXPECT_FALSE(found);
}

TEST(RenderSjisAsHtml, LineBreaks) {
    PictographMap none;
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"A\r\nB", "A<BR>B"}, {"A\rB", "A\rB"},       {"A\nB", "A\nB"},
        {"\r\r\n", "\r<BR>"}, {"\n\r", "\n\r"},       {"\r\n\r\n", "<BR><BR>"},
        {"\r", "\r"},         {"x\r\n", "x<BR>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.in, none), c.out) << c.in;
}

TEST(RenderSjisAsHtml, LookUpComesFirstAtEveryPosition) {
    PictographMap map;
    map.Store(0x4142, "[AB]");
    map.Store(0x0D0A, "[CRLF]");
    EXPECT_EQ(Render("AABBAB", map), "A[AB]B[AB]");
    EXPECT_EQ(Render("x\r\ny", map), "x[CRLF]y");
    // A lead byte takes the byte after it with it, so that byte never starts a code.
    map.Store(0xF89F, SUN);
    EXPECT_EQ(Render("\x81\xF8\x9F", map), "\x81\xF8\x9F");
    map.Store(0x81F8, "[81F8]");
    EXPECT_EQ(Render("\x81\xF8\x9F", map), "[81F8]\x9F");
}

TEST(RenderSjisAsHtml, LastByteStandsAlone) {
    PictographMap map;
    map.Store(0xF89F, SUN);
    EXPECT_EQ(Render("ab\xF8", map), "ab\xF8");
    EXPECT_EQ(Render("\x88", map), "\x88");
    EXPECT_EQ(Render("\x88\x9F\x88", map), "\x88\x9F\x88");
}

TEST(RenderSjisAsHtml, EscapesMarkupBytesCopiedAlone) {
    PictographMap map;
    map.Store(0x3C62, "[<b]");  // the look-up still comes first
    EXPECT_EQ(Render("a<b & \"c\" > <img src=http://x>", PictographMap()),
              "a&lt;b &amp; &quot;c&quot; &gt; &lt;img src=http://x&gt;");
    EXPECT_EQ(Render("<b<", map), "[<b]&lt;");
    // Half-width katakana and other single bytes pass; two-byte characters are never split.
    EXPECT_EQ(Render("\xB1\xA0\x80\xFD\x83\x5C<", PictographMap()), "\xB1\xA0\x80\xFD\x83\x5C&lt;");
    EXPECT_EQ(Render("x<", PictographMap()), "x&lt;");
}

TEST(RenderSjisAsHtml, ALeadByteWithoutAValidSecondByteStandsAlone) {
    // Otherwise "\x88<" would carry a live '<' into the HTML as half of a character.
    EXPECT_EQ(Render("\x88<script>\x88\"", PictographMap()), "\x88&lt;script&gt;\x88&quot;");
    EXPECT_EQ(Render("\x88\r\n", PictographMap()), "\x88<BR>");
    EXPECT_EQ(Render("\x88\x7F<", PictographMap()), "\x88\x7F&lt;");
}

TEST(RenderSjisAsHtml, SettlesCharacterStartsAcrossLongRunsOfLeadBytes) {
    PictographMap map;
    map.Store(0xF89F, SUN);
    // Lead bytes pair up: an odd run puts the F8 in second place, an even run in first.
    EXPECT_EQ(Render("\x88\x88\x88\xF8\x9F", map), "\x88\x88\x88\xF8\x9F");
    EXPECT_EQ(Render("\x88\x88\xF8\x9F", map), "\x88\x88" + SUN);
    EXPECT_EQ(Render("A\xF8\xF8\xF8\x9F", map), "A\xF8\xF8" + SUN);
    EXPECT_EQ(Render("A\xF8\xF8\x9F\xF8\x9F", map), "A\xF8\xF8\x9F\xF8\x9F");
    EXPECT_EQ(Render("\xF8\x9F\xF8\x9F\xF8\x9F", map), SUN + SUN + SUN);
    // A replacement ends a run: what follows starts afresh.
    map.Store(0x4188, "[A88]");
    EXPECT_EQ(Render("A\x88\xF8\x9F", map), "[A88]" + SUN);
}

TEST(RenderSjisAsHtml, AgreesWithACharacterByCharacterWalk) {
    // The walk as plainly stated, to compare the skipping walk against on random text.
    const auto plain = [](std::string_view t, const PictographMap& m) {
        std::string out;
        for (size_t i = 0; i < t.size();) {
            const auto c = static_cast<unsigned char>(t[i]);
            const bool next = i + 1 < t.size();
            const auto d = next ? static_cast<unsigned char>(t[i + 1]) : 0;
            if (const std::string* tag = next ? m.Find(static_cast<uint16_t>(c << 8 | d)) : nullptr) {
                out += *tag;
                i += 2;
            } else if (c == '\r' && d == '\n' && next) {
                out += "<BR>";
                i += 2;
            } else if (c >= 0x81 && (c <= 0x9F || c >= 0xE0) && c <= 0xFC && next && d >= 0x40 && d <= 0xFC && d != 0x7F) {
                out.append(t.substr(i, 2));
                i += 2;
            } else {
                out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : c == '"' ? "&quot;" : std::string(1, t[i]);
                ++i;
            }
        }
        return out;
    };
    PictographMap map;
    for (uint16_t code : {0xF89F, 0xF940, 0x4142, 0x0D0A, 0x8888, 0x9F40, 0x3C3C}) map.Store(code, "[" + std::to_string(code) + "]");
    const unsigned char alphabet[] = {'A', 'B', '<', '&', '\r', '\n', 0x40, 0x41, 0x42, 0x7F, 0x88, 0x9F, 0xF8, 0xF9, 0xB1, 0xFD, 0x3C};
    uint32_t seed = 7;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int len = round % 23; len > 0; --len) {
            seed = seed * 1103515245 + 12345;
            text += static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]);
        }
        ASSERT_EQ(Render(text, map), plain(text, map)) << round;
    }
}

class ConvertTextToHtmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        BindBuiltinHost(g_hostApi);
        g_mapDocomo.Store(0xF89F, SUN);
        g_mapAU.Store(0xF660, "[au]");
        g_mapSoftbank.Store(0xF941, "[sb]");
    }
    void TearDown() override {
        for (PictographMap* map : {&g_mapDocomo, &g_mapAU, &g_mapSoftbank}) *map = PictographMap();
    }
};

// A long text goes through the host in pieces, cut after CR LF where the text stands in
// ASCII: the result is the same bytes as converting it whole, also where a JIS run goes on
// over a line break or a code's bytes stand on both sides of a cut.
TEST_F(ConvertTextToHtmlTest, LongTextsInPiecesGiveTheSameBytes) {
    std::string sjis;
    for (int line = 0; sjis.size() < 400 * 1024; ++line) {
        sjis += line % 3 ? "text \x88\x9F\x82\xA0 <&> \xF8\x9F" : "\x88\x9F\xB1";
        sjis += std::string(static_cast<size_t>(line % 97), 'a') + "\r\n";
    }
    // One long line whose HTML goes back through the host in many pieces, kanji between the tags.
    for (int k = 0; k < 20000; ++k) sjis += "\x88\x9F\xF8\x9F";
    sjis += "\r\n";
    std::string jis = EncodeIso2022Jp(sjis);
    // A JIS run over many line breaks: no cut may fall inside it.
    jis += "\x1B$B" + std::string(3 * 70 * 1024, '\0') + "\x1B(B\r\n";
    for (size_t i = jis.size() - 3 * 70 * 1024 - 5; i < jis.size() - 5; i += 3) jis.replace(i, 3, i % 2 ? "0\r\n" : "4!\n");
    bool found = false;
    const std::string pieces = ConvertTextToHtml(jis, found, CARRIER_DOCOMO);
    EXPECT_TRUE(found);
    bool whole = false;
    const std::string expected = EncodeIso2022Jp(RenderSjisAsHtml(DecodeIso2022Jp(jis), g_mapDocomo, whole));
    ASSERT_EQ(pieces.size(), expected.size());
    EXPECT_TRUE(pieces == expected);
}

TEST_F(ConvertTextToHtmlTest, PicksTheCarriersMapAndConvertsBothWays) {
    const std::string text = EncodeIso2022Jp("\x88\x9F" "A\xF8\x9F" "B\xF6\x60\xF9\x41\r\n");
    bool found = false;
    EXPECT_EQ(ConvertTextToHtml(text, found, CARRIER_DOCOMO),
              EncodeIso2022Jp("\x88\x9F" "A" + SUN + "B\xF6\x60\xF9\x41<BR>"));
    EXPECT_TRUE(found);
    found = false;
    EXPECT_EQ(ConvertTextToHtml(text, found, CARRIER_SOFTBANK),
              EncodeIso2022Jp("\x88\x9F" "A\xF8\x9F" "B\xF6\x60[sb]<BR>"));
    EXPECT_TRUE(found);
    for (CarrierCode other : {CARRIER_AU, CARRIER_NONE, 7, -1}) {
        found = false;
        EXPECT_EQ(ConvertTextToHtml(text, found, other), EncodeIso2022Jp("\x88\x9F" "A\xF8\x9F" "B[au]\xF9\x41<BR>"));
        EXPECT_TRUE(found);
    }
}

TEST_F(ConvertTextToHtmlTest, AuPictographsArriveAsJisRows) {
    bool found = false;
    EXPECT_EQ(ConvertTextToHtml("\x1B$B\x75\x41\x1B(B", found, CARRIER_AU), "[au]");
    EXPECT_TRUE(found);
}

TEST_F(ConvertTextToHtmlTest, EmptyTextLeavesTheFlag) {
    bool found = false;
    EXPECT_EQ(ConvertTextToHtml("", found, CARRIER_DOCOMO), "");
    EXPECT_FALSE(found);
}

}  // namespace
