// One table of messages that a conversion must keep faithful to their sender: only the
// pictographs change. Run natively through the rewrite and under Wine through the plug-in's
// command, so that both are shown to give the reader the same.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct FaithfulCase {
    const char* what;
    std::string message;  // From tells the carrier: docomo.ne.jp or ezweb.ne.jp (au)
    // Each must stand in the result, images written as [CODE]; a case whose message stays as
    // it came has the message itself here.
    std::vector<std::string> shown;
    std::vector<std::string> notShown;
};

// The images the cases need, as carrier\CODE.gif.
inline const std::vector<std::string> FAITHFUL_IMAGES = {
    "docomo\\F89F.gif", "docomo\\F9D6.gif", "docomo\\F9DB.gif", "docomo\\F9D7.gif", "docomo\\F9E1.gif",
    "docomo\\F8E8.gif", "docomo\\F9CC.gif", "docomo\\F9D8.gif", "au\\F660.gif"};

// The result with every image tag written as [CODE].
inline std::string WithImagesAsCodes(const std::string& message) {
    static const std::regex tag("<img src=\"[^\"]*/(docomo|au|softbank)/([0-9A-F]{4})\\.gif\">");
    return std::regex_replace(message, tag, "[$2]");
}

// The result of converting c.message, as a reader sees it.
inline void ExpectFaithful(const FaithfulCase& c, const std::string& converted) {
    const std::string result = WithImagesAsCodes(converted);
    for (const std::string& shown : c.shown) EXPECT_NE(result.find(shown), std::string::npos) << c.what << "\n" << result;
    for (const std::string& hidden : c.notShown) EXPECT_EQ(result.find(hidden), std::string::npos) << c.what << "\n" << result;
}

namespace faithful {

const std::string DOCOMO = "From: hanako@docomo.ne.jp\r\nSubject: s\r\n";
const std::string AU = "From: taro@ezweb.ne.jp\r\nSubject: s\r\n";
const std::string SUN_SJIS = "\xF8\x9F";
const std::string SUN_UTF8 = "\xE2\x98\x80\xEF\xB8\x8F";  // U+2600 U+FE0F
// A Shift_JIS HTML message of Docomo's.
inline std::string SjisHtml(const std::string& html) {
    return DOCOMO + "Content-Type: text/html; charset=Shift_JIS\r\n\r\n" + html;
}

}  // namespace faithful

inline const std::vector<FaithfulCase> FAITHFUL_CASES = [] {
    using namespace faithful;
    const std::string attachment = "Content-Type: text/plain; charset=Shift_JIS\r\n"
                                   "Content-Disposition: attachment; filename=\"notes.txt\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n+J8NCg==\r\n";  // F8 9F CR LF
    const std::string thumbsUp = "\xF0\x9F\x91\x8D", mediumSkin = "\xF0\x9F\x8F\xBD";
    const std::string runnerMan = "\xF0\x9F\x8F\x83\xE2\x80\x8D\xE2\x99\x82\xEF\xB8\x8F";  // runner, ZWJ, male sign
    return std::vector<FaithfulCase>{
        {"an attachment stays a file, byte for byte, while the Subject converts the text",
         "From: hanako@docomo.ne.jp\r\nSubject: " + SUN_SJIS + "\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
         "--m\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\nhello\r\n--m\r\n" + attachment + "--m--\r\n",
         {"\r\n--m\r\n" + attachment + "--m--\r\n", "Subject:[F89F]"},
         {}},
        {"flowed with delsp: the plain part keeps its parameters, the HTML joins the soft breaks",
         DOCOMO + "Content-Type: text/plain; charset=utf-8; format=flowed; delsp=yes\r\n\r\n"
                  "\xE6\x99\xB4\xE3\x82\x8C \r\n\xE3\x81\xA7\xE3\x81\x99" + SUN_UTF8 + "\r\n",
         {"Content-Type: text/plain; charset=\"utf-8\"; format=flowed; delsp=yes\r\n",
          "\xE6\x99\xB4\xE3\x82\x8C \r\n\xE3\x81\xA7\xE3\x81\x99" + SUN_UTF8 + "\r\n",
          "size=\"2\">\xE6\x99\xB4\xE3\x82\x8C\xE3\x81\xA7\xE3\x81\x99[F89F]<BR>\r\n</FONT>"},
         {}},
        {"flowed: quoted lines join within their depth, the signature separator stays hard",
         DOCOMO + "Content-Type: text/plain; charset=utf-8; format=flowed\r\n\r\n"
                  "> one \r\n> two\r\n-- \r\n sig " + SUN_UTF8 + "\r\n",
         {"size=\"2\">&gt; one two<BR>-- <BR>sig [F89F]<BR>\r\n</FONT>"},
         {}},
        {"a quoted attribute value may hold '>'",
         SjisHtml("<p title=\"a > b " + SUN_SJIS + "\">x" + SUN_SJIS + "</p>"),
         {"\r\n\r\n<p title=\"a > b " + SUN_SJIS + "\">x[F89F]</p>"},
         {}},
        {"title, textarea, script, style and comments get no image",
         SjisHtml("<title>" + SUN_SJIS + "</title><textarea>" + SUN_SJIS + "</textarea><script>s=\"" + SUN_SJIS +
                  "\"</script ><style>/*" + SUN_SJIS + "*/</style><!-- " + SUN_SJIS + " -->x" + SUN_SJIS),
         {"\r\n\r\n<title>" + SUN_SJIS + "</title><textarea>" + SUN_SJIS + "</textarea><script>s=\"" + SUN_SJIS +
          "\"</script ><style>/*" + SUN_SJIS + "*/</style><!-- " + SUN_SJIS + " -->x[F89F]"},
         {}},
        {"a '<' that opens no tag is text",
         SjisHtml("I <3 you " + SUN_SJIS + " and <b>" + SUN_SJIS + "</b>"),
         {"\r\n\r\nI <3 you [F89F] and <b>[F89F]</b>"},
         {}},
        {"without a MIME charset the HTML is read in the one its <meta> declares",
         DOCOMO + "Content-Type: text/html\r\n\r\n<meta charset=\"Shift_JIS\"><p>\x90\xB0" + SUN_SJIS + "</p>",
         {"\r\n\r\n<meta charset=\"Shift_JIS\"><p>\x90\xB0[F89F]</p>"},
         {}},
        {"an ISO-2022-JP part keeps its JIS Roman segment and every escape",
         AU + "Content-Type: text/html; charset=iso-2022-jp\r\n\r\n<p>\x1B(Jabc\x1B$B%F%9%HuA%H\x1B(B</p>",
         {"\r\n\r\n<p>\x1B(Jabc\x1B$B%F%9%H\x1B(B[F660]\x1B$B%H\x1B(B</p>"},
         {}},
        {"a us-ascii part whose bytes are no ASCII is left as it came",
         AU + "Content-Type: text/html; charset=us-ascii\r\n\r\ncaf\xC3\xA9 \x1B$BuA\x1B(B",
         {AU + "Content-Type: text/html; charset=us-ascii\r\n\r\ncaf\xC3\xA9 \x1B$BuA\x1B(B"},
         {"[F660]"}},
        {"a text that names ISO-2022-JP but holds 8-bit bytes is left as it came",
         AU + "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\nx\xF6\x60y",
         {"true\r\n\r\nx\xF6\x60y"},  // the marker only
         {"[F660]"}},
        {"text-style characters stay text; a skin tone and a ZWJ sequence leave nothing stray",
         DOCOMO + "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                  "\xC2\xA9\xC2\xAE\xE2\x84\xA2\xE2\x86\x94\xE2\x98\x8E \xE2\x98\x8E\xEF\xB8\x8F " + thumbsUp + mediumSkin +
                  " " + runnerMan + " " + SUN_UTF8,
         {"size=\"2\">\xC2\xA9\xC2\xAE\xE2\x84\xA2\xE2\x86\x94\xE2\x98\x8E [F8E8] [F9CC] " + runnerMan + " [F89F]\r\n</FONT>"},
         {"[F9D6]", "[F9DB]", "[F9D7]", "[F9E1]", "[F9D8]", mediumSkin + "\r\n"}},
        {"LF-only lines of a base64 text end in <BR>",
         DOCOMO + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                  "b25l4piA77iPCnR3bwo=\r\n",  // "one" U+2600 U+FE0F LF "two" LF
         {"size=\"2\">one[F89F]<BR>two<BR>\r\n</FONT>"},
         {}},
    };
}();
