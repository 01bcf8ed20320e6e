// The generated image set as the plug-in sees it: the folder scan takes every file the
// generator wrote, and every file is a GIF of 20 x 20 pixels.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "render/pictograph_map.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(GeneratedPictographs, ScanFindsWhatTheGeneratorWroteAndEachIsA20By20Gif) {
    const char* dir = std::getenv("GLYPHORY_PICTOGRAPHS");
    if (!dir) GTEST_SKIP() << "GLYPHORY_PICTOGRAPHS not set: the image set was not generated";
    std::istringstream counts(Slurp(std::string(dir) + "/counts.txt"));
    std::string carrier;
    size_t expected = 0;
    int carriers = 0;
    while (counts >> carrier >> expected) {
        ++carriers;
        PictographMap map;
        ScanPictographFolder(std::string(dir) + "/" + carrier + "/", carrier, false, map);
        EXPECT_EQ(map.Tags().size(), expected) << carrier;
        EXPECT_GT(expected, 200u) << carrier;
        for (const auto& [code, tag] : map.Tags()) {
            char name[16];
            std::snprintf(name, sizeof name, "%04X.gif", code);
            const std::string gif = Slurp(std::string(dir) + "/" + carrier + "/" + name);
            ASSERT_GE(gif.size(), 13u) << name;
            EXPECT_EQ(gif.substr(0, 6), "GIF89a") << carrier << '/' << name;
            EXPECT_EQ(gif.substr(6, 4), std::string("\x14\0\x14\0", 4)) << carrier << '/' << name;  // 20 x 20
            EXPECT_EQ(gif.back(), ';') << carrier << '/' << name;  // the trailer
            EXPECT_NE(tag.find(name), std::string::npos);
        }
    }
    EXPECT_EQ(carriers, 3);
}

}  // namespace
