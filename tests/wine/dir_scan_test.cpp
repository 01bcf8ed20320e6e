// The folder scan over Windows' own directory enumeration, on a C:\ path.
#include <windows.h>

#include <fstream>

#include <gtest/gtest.h>

#include "render/pictograph_map.h"

namespace {

TEST(FolderScanOnWindows, FindsImagesAndBuildsUrlsFromTheWindowsPath) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // Blanks, and a two-byte character whose second byte is a backslash (code page 932).
    const std::string base = std::string(temp) + "glyphory scan \x95\x5C\\";
    const std::string folder = base + "docomo\\";
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"F89F.gif", "f9a0.gif", "F8A1.GIF", "F8A2.png", "F8A3.gifx"})
        std::ofstream(folder + name) << "GIF89a";
    CreateDirectoryA((folder + "F8A4.gif").c_str(), nullptr);

    PictographMap map;
    ScanPictographFolder(folder, "docomo", false, map);
    ScanPictographFolder(base + "missing\\", "docomo", false, map);
    ASSERT_EQ(map.Tags().size(), 2u);
    std::string url = "file://localhost/" + folder;
    for (size_t i = 0; i < url.size(); ++i) {
        if (i > 0 && static_cast<unsigned char>(url[i - 1]) == 0x95) continue;  // the second byte stays
        if (url[i] == '\\') url[i] = '/';
    }
    ASSERT_NE(map.Find(0xF89F), nullptr);
    EXPECT_EQ(*map.Find(0xF89F), "<img src=\"" + url + "F89F.gif\">");
    ASSERT_NE(map.Find(0xF9A0), nullptr);
    EXPECT_EQ(*map.Find(0xF9A0), "<img src=\"" + url + "f9a0.gif\">");
    EXPECT_NE(url.find("C:/"), std::string::npos) << url;
    EXPECT_NE(url.find("glyphory scan \x95\x5C/docomo/"), std::string::npos) << url;
}

}  // namespace
