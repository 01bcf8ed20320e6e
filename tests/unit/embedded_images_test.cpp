// Converted mail that carries its images: every cid: reference resolves within its
// multipart/related entity, each image once there, the Content-IDs unique in the message, and
// all else as the sender wrote it.
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "mime/mime_tree.h"
#include "tests/common/mime_parts.h"

#include "mime/entity_kind.h"
#include "mime/message_rewriter.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

const std::string SUN_ID = "docomo.F89F.gif@pictograph.glyphory.invalid";
const std::string CLOUD_ID = "docomo.F8A0.gif@pictograph.glyphory.invalid";

const std::regex REFERENCE("src=\"cid:([^\"]+@pictograph[^\"]+)\""), IMAGE_PART("\r\nContent-ID: <([^>]+@pictograph[^>]+)>\r\n");

// The references of ours in the texts of entity, but for those in a multipart/related entity
// within it, which it carries itself.
void CollectReferences(std::string_view entity, std::set<std::string>& referenced) {
    const HeaderAndBody split = SplitHeaderAndBody(entity);
    const EntityKind kind = ClassifyEntity(SplitHeaderLines(split.header));
    if (kind.related) return;
    if (kind.media == MediaKind::Multipart) {
        for (const std::string_view part : PartTextsOf(entity)) CollectReferences(part, referenced);
        return;
    }
    const std::string text(entity);
    for (std::sregex_iterator it(text.begin(), text.end(), REFERENCE), end; it != end; ++it) referenced.insert((*it)[1]);
}

// Every multipart/related entity carries the images of ours that the texts in it refer to (a
// mail client looks a reference up there), and nothing else of ours; ids and carried count
// the Content-IDs of ours in the message.
void CheckRelatedEntities(std::string_view entity, std::set<std::string>& ids, size_t& carried, const char* what) {
    const HeaderAndBody split = SplitHeaderAndBody(entity);
    const EntityKind kind = ClassifyEntity(SplitHeaderLines(split.header));
    if (kind.media != MediaKind::Multipart) return;
    const std::vector<std::string_view> parts = PartTextsOf(entity);
    if (kind.related) {
        std::set<std::string> referenced, held;
        for (const std::string_view part : parts) {
            const std::string text = "\r\n" + std::string(part);
            std::smatch m;
            if (ClassifyEntity(SplitHeaderLines(SplitHeaderAndBody(part).header)).media != MediaKind::Other ||
                !std::regex_search(text, m, IMAGE_PART)) {
                CollectReferences(part, referenced);
                continue;
            }
            held.insert(m[1]);
            ids.insert(m[1]);
            ++carried;
        }
        EXPECT_EQ(referenced, held) << what << "\n" << split.body;
    }
    for (const std::string_view part : parts) CheckRelatedEntities(part, ids, carried, what);
}

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
        size_t images;  // image parts of ours
    } cases[] = {
        {"a text", "Content-Type: text/plain; charset=Shift_JIS\r\n\r\nA\xF8\x9F" "B\xF8\xA0\xF8\x9F\r\n", 2},
        {"a decorated mail in multipart/related",
         "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\nContent-Type: multipart/related; boundary=\"r\"\r\n\r\n"
         "--r\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n" + decorated + "--r\r\n" + inlineImage + "--r--\r\n"
         "--m\r\n" + attachment + "--m--\r\n", 3},
        {"a decorated mail without multipart/related",
         "Content-Type: multipart/alternative; boundary=\"a\"\r\n\r\n" + decorated, 3},
        {"an HTML message alone", "Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>\xF8\x9F\xF8\x9F</p>\r\n", 1},
    };
    for (const auto& c : cases) {
        bool changed = false;
        const std::string out = RewriteMessage(c.message, "s", true, changed, CARRIER_DOCOMO);
        ASSERT_TRUE(changed) << c.what;
        std::set<std::string> ids;
        size_t carried = 0;
        CheckRelatedEntities(out, ids, carried, c.what);
        EXPECT_EQ(ids.size(), carried) << c.what;  // Content-IDs unique in the message
        EXPECT_EQ(carried, c.images) << c.what << "\n" << out;
        for (const std::string& kept : {inlineImage, attachment}) {
            if (c.message.find(kept) != std::string::npos) {
                EXPECT_NE(out.find(kept), std::string::npos) << c.what;
            }
        }
        EXPECT_NE(out.find("Content-Transfer-Encoding: base64\r\nContent-ID: <" + SUN_ID + ">\r\nContent-Disposition: inline; "
                           "filename=\"F89F.gif\"\r\n\r\nR0lGODlhLXN1bg==\r\n"),
                  std::string::npos) << c.what;
    }
    // The message's own HTML, wrapped, keeps its last line break; the one after it is the delimiter's.
    bool wrapped = false;
    const std::string alone = RewriteMessage(cases[3].message, "s", true, wrapped, CARRIER_DOCOMO);
    const std::vector<std::string_view> parts = PartTextsOf(alone);
    ASSERT_FALSE(parts.empty());
    EXPECT_EQ(parts[0].substr(parts[0].size() - 8), "</p>\r\n\r\n");
    // A message whose header lines already give a Content-ID of ours, folded or not, stays as it is.
    for (const std::string& id : {"Content-ID: <" + SUN_ID + ">", "Content-ID:\r\n <" + SUN_ID + ">", "content-id : <" + SUN_ID + ">"}) {
        bool changed = false;
        const std::string forged = "Content-Type: text/plain\r\n" + id + "\r\n\r\n\xF8\x9F";
        EXPECT_EQ(RewriteMessage(forged, "s", true, changed, CARRIER_DOCOMO), forged) << id;
        EXPECT_FALSE(changed);
    }
}

}  // namespace
