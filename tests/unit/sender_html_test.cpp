// A sender's HTML as a browser reads it: where its text stands between the markup, and the
// charset its markup declares.
#include <gtest/gtest.h>

#include "mime/html_charset.h"
#include "render/html_pictographs.h"

namespace {

// '#' stands for a code (F8 9F in Shift-JIS, "uA" in a two-byte segment of ISO-2022-JP) and
// '@' for its image.
std::string WithCode(std::string text, const std::string& code) {
    for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + code.size())) text.replace(at, 1, code);
    return text;
}

TEST(SenderHtml, ImagesOnlyWhereAReaderSeesText) {
    PictographMap map;
    map.Store(0xF89F, "@");
    map.Store(0xF660, "@");
    const struct {
        std::string html, expected;
    } cases[] = {
        {"<!-->#<!--->#<!-- a --!>#<!-- -- > # -->#", "<!-->@<!--->@<!-- a --!>@<!-- -- > # -->@"},
        {"<?x # ?>#<!DOCTYPE #>#</ #>#</>#", "<?x # ?>@<!DOCTYPE #>@</ #>@</>@"},
        {"<a href=x>#</a><a b='>#'>#<a b=\"#\"c>#", "<a href=x>@</a><a b='>#'>@<a b=\"#\"c>@"},
        {"<script>a</scripts>#</script>#", "<script>a</scripts>#</script>@"},
        {"<script><!--<script>x</script>#</script>#", "<script><!--<script>x</script>#</script>@"},
        {"<script><!-- x --></script>#<![CDATA[ > <textarea> ]]> # </textarea>#",
         "<script><!-- x --></script>@<![CDATA[ > <textarea> ]]> # </textarea>@"},
        {"<SCRIPT>#</Script\t>#<title/>#</title>#<xmp><b>#</xmp>#", "<SCRIPT>#</Script\t>@<title/>#</title>@<xmp><b>#</xmp>@"},
        {"<plaintext>#</plaintext>#", "<plaintext>#</plaintext>#"},
        {"1 < 2 #<p title=\"#", "1 < 2 @<p title=\"#"},
        {"<a#>#<b\x82\xA0>#", "<a#>@<b\x82\xA0>@"},
    };
    for (const auto& c : cases) {
        bool found = false;
        EXPECT_EQ(ReplaceSjisHtmlPictographs(WithCode(c.html, "\xF8\x9F"), map, found), WithCode(c.expected, "\xF8\x9F"))
            << c.html;
        // In ISO-2022-JP a code that opens its segment takes the segment's escape sequence with it.
        std::string expected = WithCode(c.expected, "\x1B$BuA\x1B(B");
        for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@', at + 4))
            expected.replace(at, 1, "@\x1B(B");
        EXPECT_EQ(ReplaceIso2022JpHtmlPictographs(WithCode(c.html, "\x1B$BuA\x1B(B"), map, found), expected) << c.html;
    }
    // Bytes of two-byte characters are never markup; the tag leaves the segment and the
    // segment's own escape sequence re-enters it.
    const struct {
        std::string jis, expected;
    } iso[] = {
        {"\x1B$@$<uAuA$!\x1B(B", "\x1B$@$<\x1B(B@@\x1B$@$!\x1B(B"},
        {"\x1B$@uA$!\x1B(Bx\x1B$BuA\x1B(B", "@\x1B$@$!\x1B(Bx@\x1B(B"},
        {"\x1B(Jx\x1B$BuA\x1B(B", "\x1B(Jx\x1B(B@\x1B(B"},  // a tag is ASCII, not JIS Roman
    };
    for (const auto& c : iso) {
        bool found = false;
        EXPECT_EQ(ReplaceIso2022JpHtmlPictographs(c.jis, map, found), c.expected) << c.jis;
        EXPECT_TRUE(found);
    }
}

TEST(SenderHtml, CharsetDeclaredInTheMarkup) {
    const struct {
        std::string html, charset;
    } cases[] = {
        {"<meta charset=\"Shift_JIS\">", "shift_jis"},
        {"<META CHARSET=utf-8>", "utf-8"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset='iso-2022-jp'\">", "iso-2022-jp"},
        {"<meta content=\"text/html; charset=x-sjis\">", ""},  // no http-equiv
        {"<meta content=\"charset=x-sjis\" http-equiv=content-type>", "x-sjis"},
        {"<!-- <meta charset=utf-8> --><meta charset=euc-jp>", "euc-jp"},
        {"<p title=\"<meta charset=utf-8>\"><meta charset=utf-16le>", "utf-8"},
        {std::string(1024, ' ') + "<meta charset=utf-8>", ""},
        {"<metal charset=utf-8>", ""},
        {"<meta charset=\" ms_kanji \">", "ms_kanji"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrescanHtmlCharset(c.html), c.charset) << c.html;
}

}  // namespace
