// The Unicode forms of the carriers' pictographs, checked against the carrier data itself,
// and the UTF-8 walks that use them.
#include "render/unicode_pictographs.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "render/html_pictographs.h"
#include "render/utf8_to_html.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

std::string Utf8Of(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string TagOf(uint16_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "[%04X]", code);
    return text;
}

// An image for every code of the carriers' areas.
PictographMap EveryCode() {
    PictographMap map;
    for (uint32_t code = 0xF040; code <= 0xFCFC; ++code) map.Store(static_cast<uint16_t>(code), TagOf(static_cast<uint16_t>(code)));
    return map;
}

// The tags of the pictograph at the start of text, and the bytes it takes ("" and 0: none).
std::pair<std::string, size_t> Match(const std::string& text, CarrierCode carrier, const PictographMap& map) {
    std::string tags;
    const size_t width = MatchUnicodePictograph(text, 0, SelectUnicodePictographs(carrier), map, tags);
    return {tags, width};
}

TEST(UnicodePictographs, EveryRangeEndOfTheCarrierDataMapsToItsShiftJisEnd) {
    std::ifstream in(std::string(GLYPHORY_CARRIER_DATA) + "/carrier-codes.md");
    ASSERT_TRUE(in) << GLYPHORY_CARRIER_DATA;
    const std::regex row(R"(^\|\s*(Docomo|au|au \(KDDI\)|SoftBank)\s*\|\s*U\+([0-9A-F]+)-U\+([0-9A-F]+)\s*\|\s*([0-9A-F]{4})-([0-9A-F]{4})\s*\|)");
    const PictographMap map = EveryCode();
    int rows = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        const CarrierCode carrier = m[1] == "Docomo" ? CARRIER_DOCOMO : m[1] == "SoftBank" ? CARRIER_SOFTBANK : CARRIER_AU;
        for (const auto& [cp, sjis] : {std::pair{m[2].str(), m[4].str()}, std::pair{m[3].str(), m[5].str()}}) {
            const std::string text = Utf8Of(static_cast<char32_t>(std::stoul(cp, nullptr, 16))) + "x";
            EXPECT_EQ(Match(text, carrier, map), std::make_pair("[" + sjis + "]", text.size() - 1)) << line;
        }
        ++rows;
    }
    EXPECT_EQ(rows, 13);
}

TEST(UnicodePictographs, GoogleCodesStandardEmojiAndSequences) {
    const PictographMap map = EveryCode();
    const struct {
        std::string text;
        CarrierCode carrier;
        std::string tags;
        size_t width;
    } cases[] = {
        {Utf8Of(0xFE000), CARRIER_DOCOMO, "[F89F]", 4},   // Google's sun: docomo U+E63E
        {Utf8Of(0xFE000), CARRIER_AU, "[F660]", 4},       // au U+E488
        {Utf8Of(0xFE000), CARRIER_SOFTBANK, "[F98B]", 4}, // SoftBank U+E04A
        {Utf8Of(0xFE009), CARRIER_DOCOMO, "[F89F]", 4},   // a near equivalent, marked '>'
        {Utf8Of(0xFE00F), CARRIER_DOCOMO, "[F89F][F8A0]", 4},  // sun behind cloud: two of docomo's
        {Utf8Of(0xFE00B), CARRIER_DOCOMO, "", 0},         // docomo has no cityscape at dusk
        // Shown as text by default (the sun, the copyright sign): an image only with U+FE0F.
        {Utf8Of(0x2600), CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x2600) + Utf8Of(0xFE0F) + "!", CARRIER_DOCOMO, "[F89F]", 6},
        {Utf8Of(0xA9) + "!", CARRIER_DOCOMO, "", 0},
        {Utf8Of(0xA9) + Utf8Of(0xFE0F), CARRIER_DOCOMO, "[F9D6]", 5},
        // Shown as emoji by default, unless U+FE0E asks for text; a skin tone goes with it.
        {Utf8Of(0x1F44D), CARRIER_DOCOMO, "[F9CC]", 4},
        {Utf8Of(0x1F44D) + Utf8Of(0xFE0E), CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x1F44D) + Utf8Of(0x1F3FD) + "!", CARRIER_DOCOMO, "[F9CC]", 8},
        {Utf8Of(0x270C) + Utf8Of(0x1F3FB), CARRIER_DOCOMO, "[F8F5]", 7},  // a skin tone shows a text-style base as emoji
        {Utf8Of(0x1F34E) + Utf8Of(0x1F3FB), CARRIER_DOCOMO, "[F9EA]", 4},  // an apple takes none: the swatch stays text
        // A ZWJ or tag sequence is no carrier's: it all stays text.
        {Utf8Of(0x1F44D) + Utf8Of(0x200D) + Utf8Of(0x1F44D), CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x1F44D) + Utf8Of(0x1F3FD) + Utf8Of(0x200D) + Utf8Of(0x2764), CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x1F44D) + Utf8Of(0xE0067) + Utf8Of(0xE007F), CARRIER_DOCOMO, "", 0},
        {"#" + Utf8Of(0x20E3), CARRIER_DOCOMO, "[F985]", 4},
        {"#" + Utf8Of(0xFE0F) + Utf8Of(0x20E3), CARRIER_DOCOMO, "[F985]", 7},
        {"#", CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x1F1EF) + Utf8Of(0x1F1F5), CARRIER_AU, "[F6A5]", 8},  // the flag of Japan
        {Utf8Of(0x1F1EF) + Utf8Of(0x1F1F5), CARRIER_DOCOMO, "", 0},
        {Utf8Of(0x1F9D1), CARRIER_SOFTBANK, "", 0},       // no carrier has it
        {Utf8Of(0xE63E), CARRIER_SOFTBANK, "", 0},        // docomo's own code in SoftBank mail
        {Utf8Of(0x3042), CARRIER_DOCOMO, "", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Match(c.text, c.carrier, map), std::make_pair(c.tags, c.width)) << c.carrier << " " << c.text;

    // A code without an image stays text; a shorter match with images still counts.
    PictographMap some;
    some.Store(0xF89F, "[F89F]");
    EXPECT_EQ(Match(Utf8Of(0xFE00F), CARRIER_DOCOMO, some), std::make_pair(std::string(), size_t{0}));
    EXPECT_EQ(Match(Utf8Of(0xE63F), CARRIER_DOCOMO, some), std::make_pair(std::string(), size_t{0}));
}

class Utf8Walk : public Rewrite {};

TEST_F(Utf8Walk, EscapesBreaksInvalidBytesAndPictographs) {
    const std::string sun = Utf8Of(0xE63E);
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        std::string text, html;
        bool found;
    } cases[] = {
        {"a&b<c>\"d\r\ne\rf\ng", "a&amp;b&lt;c&gt;&quot;d<BR>e\rf\ng", false},
        {"\xE3\x81\x82" + sun, "\xE3\x81\x82" + SUN, true},
        {sun + Utf8Of(0xFE0F) + "\r\n", SUN + "<BR>", true},
        {"x\xFFy\xC0\x80", "x" + fffd + "y" + fffd + fffd, false},
        {"\xED\xA0\x80", fffd + fffd + fffd, false},  // a surrogate, encoded
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd, false},
        {"a\xE3\x81", "a" + fffd, false},  // cut off at the end
        {"a\xF0\x9F", "a" + fffd, false},  // the start of an emoji, cut off
        {"1\xFF#x9", "1" + fffd + "#x9", false},  // keycap starts that start none
        {"\xE3\x80\xE3\x81\x82", fffd + "\xE3\x81\x82", false},  // broken after a lead a pictograph may begin with
        {"a\xE2\x80\x8D" + sun, "a\xE2\x80\x8D" + SUN, true},  // a joiner after no emoji joins nothing
        {Utf8Of(0x1F9D1) + "\xE2\x80\x8D" + sun, Utf8Of(0x1F9D1) + "\xE2\x80\x8D" + sun, false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        bool found = false;
        EXPECT_EQ(RenderUtf8AsHtml(c.text, CARRIER_DOCOMO, found), c.html) << c.text;
        EXPECT_EQ(found, c.found) << c.text;
    }
    bool found = true;
    EXPECT_EQ(RenderUtf8AsHtml("x", CARRIER_DOCOMO, found), "x");
    EXPECT_TRUE(found);  // never cleared
}

TEST_F(Utf8Walk, HtmlKeepsMarkupAndEveryOtherByte) {
    const std::string sun = Utf8Of(0xE63E);
    bool found = false;
    EXPECT_EQ(ReplaceUtf8HtmlPictographs("<p title=\"" + sun + "\">&amp;" + sun + "\xFF\r\n</p" + sun, CARRIER_DOCOMO, found),
              "<p title=\"" + sun + "\">&amp;" + SUN + "\xFF\r\n</p" + sun);
    EXPECT_TRUE(found);
}

TEST_F(Utf8Walk, SubjectInUtf8OrInTheClientsOwnText) {
    bool found = false;
    EXPECT_EQ(ConvertSubjectToUtf8Html("\xE3\x81\x8A" + Utf8Of(0x2600) + Utf8Of(0xFE0F) + "<", found, CARRIER_DOCOMO),
              "\xE3\x81\x8A" + SUN + "&lt;");
    EXPECT_TRUE(found);
    found = false;
    EXPECT_EQ(ConvertSubjectToUtf8Html("\x82\xA8\xF8\x9F", found, CARRIER_DOCOMO), "\xE3\x81\x8A" + SUN);  // Shift-JIS
    EXPECT_TRUE(found);
    found = false;
    EXPECT_EQ(ConvertSubjectToUtf8Html("\x1B$B$*\x1B(B!", found, CARRIER_DOCOMO), "\xE3\x81\x8A!");  // ISO-2022-JP
    EXPECT_FALSE(found);
}

// A folder the client names in code page 932: its own text keeps the client's tag, UTF-8 HTML
// takes the tag whose URL is UTF-8.
TEST_F(Utf8Walk, Utf8HtmlTakesTheUtf8FormOfATag) {
    const std::string client = "<img src=\"file://localhost/C:/\x8A" "G/F89F.gif\">";
    const std::string utf8 = "<img src=\"file://localhost/C:/%E7%B5%B5/F89F.gif\">";
    g_mapDocomo.Store(0xF89F, client, {}, utf8);
    bool found = false;
    EXPECT_EQ(RenderUtf8AsHtml(Utf8Of(0xE63E), CARRIER_DOCOMO, found), utf8);
    EXPECT_EQ(ReplaceUtf8HtmlPictographs("<p>" + Utf8Of(0xE63E), CARRIER_DOCOMO, found), "<p>" + utf8);
    EXPECT_EQ(ConvertSubjectToUtf8Html("\xF8\x9F", found, CARRIER_DOCOMO), utf8);
    EXPECT_EQ(ReplaceSjisHtmlPictographs("<p>\xF8\x9F", g_mapDocomo, found), "<p>" + client);
}

TEST(ConvertCp932ToUtf8, KnownCharactersAndReplacementForTheRest) {
    EXPECT_EQ(ConvertCp932ToUtf8("a\x82\xA0\xB1"), "a\xE3\x81\x82\xEF\xBD\xB1");  // a, hiragana a, half-width a
    EXPECT_EQ(ConvertCp932ToUtf8("\x81\x5C"), "\xE2\x80\x95");
    EXPECT_EQ(ConvertCp932ToUtf8("x\x82"), "x\xEF\xBF\xBD");
    EXPECT_EQ(ConvertCp932ToUtf8(""), "");
}

// A UTF-8 text part: the plain part as it came, the HTML part in UTF-8 and 8bit.
TEST_F(Rewrite, Utf8TextIsConvertedWithoutTheHostsConverter) {
    const std::string body = "\xE6\x99\xB4\xE3\x82\x8C" + Utf8Of(0xE63E) + "\r\n<&>\r\n";
    bool changed = false;
    const std::string out = RewriteMessage("Content-Type: text/plain; charset=utf-8\r\n\r\n" + body,
                                           "\xE3\x81\x8A" + Utf8Of(0x2600) + Utf8Of(0xFE0F), true, changed, CARRIER_DOCOMO);
    EXPECT_TRUE(changed);
    const std::string head = "<HTML>\r\n<BODY>\r\n<FONT  face=\"\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF\" size=\"2\">";
    EXPECT_EQ(Normalized(out),
              "CreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"<B1>\"\r\n\r\n"
              "--<B1>\r\nContent-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + body +
                  "\r\n\r\n--<B1>\r\nContent-Type: text/html; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + head +
                  "Subject:\xE3\x81\x8A" + SUN + SUBJECT_BLOCK_END + "\xE6\x99\xB4\xE3\x82\x8C" + SUN + "<BR>&lt;&amp;&gt;<BR>" + TAIL +
                  "--<B1>--\r\n");
    // No pictograph anywhere: only the marker.
    changed = false;
    EXPECT_EQ(RewriteMessage("Content-Type: text/plain; charset=UTF8\r\n\r\nabc", "s", true, changed, CARRIER_DOCOMO),
              "Content-Type: text/plain; charset=UTF8\r\nCreateZaverGlyphory: true\r\n\r\nabc");
}

}  // namespace
