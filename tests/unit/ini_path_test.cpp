#include "settings/ini_path.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(MakeIniPath, ReplacesFromTheLastDot) {
    EXPECT_EQ(MakeIniPath("C:\\Becky!\\PlugIns\\Glyphory.dll"), "C:\\Becky!\\PlugIns\\Glyphory.ini");
    EXPECT_EQ(MakeIniPath("C:\\a.b\\Glyphory"), "C:\\a.ini");
    EXPECT_EQ(MakeIniPath("Glyphory"), "Glyphory.ini");
    EXPECT_EQ(MakeIniPath(""), ".ini");
}

TEST(MakeIniPath, IsEmptyWhenTheResultWouldNotFitTheBuffer) {
    const std::string folder = "C:\\" + std::string(240, 'x') + "\\";
    const std::string fits = folder + std::string(MODULE_PATH_SIZE - 1 - folder.size() - 4, 'g');
    EXPECT_EQ(MakeIniPath(fits), fits + ".ini");
    EXPECT_EQ(MakeIniPath(fits + "g").size(), 0u);
    EXPECT_EQ(MakeIniPath(fits + ".dll"), fits + ".ini");
}

}  // namespace
