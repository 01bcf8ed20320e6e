#include "render/pictograph_map.h"

#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "tests/unit/temp_dir.h"

namespace {

class FolderScan : public ::testing::Test {
protected:
    TempDir dir;
    std::string folder = dir.Path() + "/docomo/";
    void SetUp() override { mkdir(folder.c_str(), 0755); }
    void Touch(const std::string& name) { std::ofstream(folder + name) << "GIF89a"; }
    std::string Tag(const std::string& name) const { return "<img src=\"file://localhost" + folder + name + "\">"; }
};

TEST_F(FolderScan, AcceptsFourHexDigitsAndLowerCaseGif) {
    for (const char* name : {"F89F.gif", "0000.gif", "4142.gif", "aBc9.gif"}) Touch(name);
    PictographMap map;
    ScanPictographFolder(folder, "docomo", false, map);
    ASSERT_EQ(map.Tags().size(), 4u);
    ASSERT_NE(map.Find(0xF89F), nullptr);
    EXPECT_EQ(*map.Find(0xF89F), Tag("F89F.gif"));
    EXPECT_EQ(*map.Find(0x0000), Tag("0000.gif"));
    EXPECT_EQ(*map.Find(0x4142), Tag("4142.gif"));
    EXPECT_EQ(*map.Find(0xABC9), Tag("aBc9.gif"));  // the name as listed
    EXPECT_EQ(map.Find(0xF8A0), nullptr);
}

TEST_F(FolderScan, SkipsEverythingElse) {
    for (const char* name : {"F89F.GIF", "F89F.Gif", "F89F.png", "F89.gif", "0F89F.gif", "F89F.gifx",
                             "G89F.gif", "F8 F.gif", "F8-F.gif", "F8\xB1" "F.gif", "\x82\x4F" "9F.gif", ".gif"})
        Touch(name);
    mkdir((folder + "F8A0.gif").c_str(), 0755);
    PictographMap map;
    ScanPictographFolder(folder, "docomo", false, map);
    EXPECT_TRUE(map.Tags().empty());
}

TEST_F(FolderScan, LaterEntriesReplaceAndNothingIsCleared) {
    Touch("F89F.gif");
    Touch("f89f.gif");  // the same code; this file system tells the two names apart
    PictographMap map;
    map.Store(0x1234, "kept");
    ScanPictographFolder(folder, "docomo", false, map);
    EXPECT_EQ(map.Tags().size(), 2u);
    EXPECT_EQ(*map.Find(0x1234), "kept");
    const std::string& tag = *map.Find(0xF89F);
    EXPECT_TRUE(tag == Tag("F89F.gif") || tag == Tag("f89f.gif")) << tag;
    ScanPictographFolder(dir.Path() + "/missing/", "docomo", false, map);
    EXPECT_EQ(map.Tags().size(), 2u);
}

TEST_F(FolderScan, PercentEncodesWhatAPosixPathHoldsBesideAUrlsBytes) {
    const std::string odd = dir.Path() + "/Program Files #1%\"\xE5\xA4\xAA/";
    mkdir(odd.c_str(), 0755);
    std::ofstream(odd + "E63E.gif") << "";
    PictographMap map;
    ScanPictographFolder(odd, "docomo", false, map);
    ASSERT_NE(map.Find(0xE63E), nullptr);
    EXPECT_EQ(*map.Find(0xE63E), "<img src=\"file://localhost" + dir.Path() + "/Program%20Files%20%231%25%22%E5%A4%AA/E63E.gif\">");
}

TEST_F(FolderScan, EmbeddedTagsReferToPartsAndTheMapKeepsTheImages) {
    Touch("F89F.gif");
    PictographMap map;
    ScanPictographFolder(folder, "docomo", true, map);
    ASSERT_NE(map.Find(0xF89F), nullptr);
    EXPECT_EQ(*map.Find(0xF89F), "<img src=\"cid:docomo.F89F.gif@pictograph.glyphory.invalid\">");
    ASSERT_NE(map.Image(0xF89F), nullptr);
    EXPECT_EQ(*map.Image(0xF89F), "GIF89a");
    EXPECT_TRUE(map.Embedded());
}

TEST(MakeFileUrl, TurnsSeparatorsButNotSecondBytes) {
    EXPECT_EQ(MakeFileUrl("C:\\Apps\\Glyphory\\au\\"), "file://localhost/C:/Apps/Glyphory/au/");
    EXPECT_EQ(MakeFileUrl("C:\\Program Files\\G#%\\"), "file://localhost/C:/Program Files/G#%/");
    EXPECT_EQ(MakeFileUrl("C:\\\x95\x5C\\\x83\x5C\x5C"), "file://localhost/C:/\x95\x5C/\x83\x5C/");
    EXPECT_EQ(MakeFileUrl("/srv/g/au/"), "file://localhost/srv/g/au/");
    EXPECT_EQ(MakeFileUrl("C:\\a\x95"), "file://localhost/C:/a\x95");  // a lead byte at the end alone
    EXPECT_EQ(MakeFileUrl(""), "file://localhost/");
}

TEST(MakeUtf8FileUrl, PercentEncodesTheWindowsPathInUtf8) {
    EXPECT_EQ(MakeUtf8FileUrl("C:\\\x8A" "G\x95\xB6\x8E\x9A\\au\\"), "file://localhost/C:/%E7%B5%B5%E6%96%87%E5%AD%97/au/");
    EXPECT_EQ(MakeUtf8FileUrl("C:\\\x95\x5C\\Program Files\\G#%\\"), "file://localhost/C:/%E8%A1%A8/Program%20Files/G%23%25/");
    EXPECT_EQ(MakeUtf8FileUrl("C:\\Becky!\\PlugIns\\"), "file://localhost/C:/Becky!/PlugIns/");
    EXPECT_EQ(MakeUtf8FileUrl("/srv/\xE5\xA4\xAA/"), "file://localhost/srv/%E5%A4%AA/");
}

TEST(MakeFileUrl, TheDocumentedTagIs61Bytes) {
    PictographMap map;
    const std::string tag = "<img src=\"" + MakeFileUrl("C:\\Apps\\Glyphory\\docomo\\") + "F89F.gif\">";
    EXPECT_EQ(tag, "<img src=\"file://localhost/C:/Apps/Glyphory/docomo/F89F.gif\">");
    EXPECT_EQ(tag.size(), 61u);
}

}  // namespace
