// Converted mail that carries its images: every cid: reference resolves to one part of the
// message, each image once, the Content-IDs unique, and all else as the sender wrote it.
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "mime/message_rewriter.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

const std::string SUN_ID = "docomo.F89F.gif@pictograph.glyphory.invalid";
const std::string CLOUD_ID = "docomo.F8A0.gif@pictograph.glyphory.invalid";

class Embedded : public Rewrite {
protected:
    void SetUp() override {
        Rewrite::SetUp();
        g_mapDocomo.Store(0xF89F, "<img src=\"cid:" + SUN_ID + "\">", "GIF89a-sun");
        g_mapDocomo.Store(0xF8A0, "<img src=\"cid:" + CLOUD_ID + "\">", "GIF89a-cloud");
    }
};

TEST_F(Embedded, EachImageOnceForEveryReferenceAndTheSendersPartsAsTheyCame) {
    const std::string inlineImage = "Content-Type: image/gif\r\nContent-ID: <logo@sender>\r\n\r\nR0lGODlh\r\n";
    const std::string attachment = "Content-Type: application/pdf\r\nContent-Disposition: attachment\r\n\r\nJVBERi0=\r\n";
    const std::string decorated = "--a\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\nA\xF8\x9F" "B\xF8\xA0\xF8\x9F\r\n"
                                  "--a\r\nContent-Type: text/html; charset=Shift_JIS\r\n\r\n<p>\xF8\x9F<img src=\"cid:logo@sender\"></p>\r\n"
                                  "--a--\r\n";
    const struct {
        const char* what;
        std::string message;
        size_t images;  // distinct images of ours carried
    } cases[] = {
        {"a text", "Content-Type: text/plain; charset=Shift_JIS\r\n\r\nA\xF8\x9F" "B\xF8\xA0\xF8\x9F\r\n", 2},
        {"a decorated mail in multipart/related",  // the sun of its HTML part is the one of the text's
         "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\nContent-Type: multipart/related; boundary=\"r\"\r\n\r\n"
         "--r\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n" + decorated + "--r\r\n" + inlineImage + "--r--\r\n"
         "--m\r\n" + attachment + "--m--\r\n", 2},
        {"a decorated mail without multipart/related",
         "Content-Type: multipart/alternative; boundary=\"a\"\r\n\r\n" + decorated, 2},
        {"an HTML message alone", "Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>\xF8\x9F\xF8\x9F</p>\r\n", 1},
    };
    const std::regex reference("src=\"cid:([^\"]+)\""), part("\r\nContent-ID: <([^>]+)>\r\n");
    for (const auto& c : cases) {
        bool changed = false;
        const std::string out = RewriteMessage(c.message, "s", true, changed, CARRIER_DOCOMO);
        ASSERT_TRUE(changed) << c.what;
        std::set<std::string> referenced, carried;
        size_t parts = 0;
        const auto ours = [](const std::string& id) { return id.find("@pictograph.glyphory.invalid") != std::string::npos; };
        for (std::sregex_iterator it(out.begin(), out.end(), reference), end; it != end; ++it)
            if (ours((*it)[1])) referenced.insert((*it)[1]);
        for (std::sregex_iterator it(out.begin(), out.end(), part), end; it != end; ++it)
            if (ours((*it)[1])) carried.insert((*it)[1]), ++parts;
        EXPECT_EQ(referenced, carried) << c.what << "\n" << out;  // every reference resolves, every part is used
        EXPECT_EQ(parts, c.images) << c.what;                       // each image once
        for (const std::string& kept : {inlineImage, attachment}) {
            if (c.message.find(kept) != std::string::npos) {
                EXPECT_NE(out.find(kept), std::string::npos) << c.what;
            }
        }
        EXPECT_NE(out.find("Content-Transfer-Encoding: base64\r\nContent-ID: <" + SUN_ID + ">\r\nContent-Disposition: inline; "
                           "filename=\"F89F.gif\"\r\n\r\nR0lGODlhLXN1bg==\r\n"),
                  std::string::npos) << c.what;
    }
    // A message that already holds a Content-ID of ours gets none added: it is only marked.
    bool changed = false;
    const std::string forged = "Content-Type: text/plain\r\nContent-ID: <" + SUN_ID + ">\r\n\r\n\xF8\x9F";
    EXPECT_EQ(RewriteMessage(forged, "s", true, changed, CARRIER_DOCOMO),
              "Content-Type: text/plain\r\nContent-ID: <" + SUN_ID + ">\r\nCreateZaverGlyphory: true\r\n\r\n\xF8\x9F");
}

}  // namespace
