#include "platform/ini_file.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "tests/common/ini_cases.h"
#include "tests/unit/temp_dir.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class IniFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.Path() + "/Glyphory.ini";
};

TEST_F(IniFile, ReadsAsThePrivateProfileFunctionsDo) {
    for (const IniReadCase& c : INI_READ_CASES) {
        std::remove(path.c_str());
        if (c.file != NO_FILE) Put(path, c.file);
        EXPECT_EQ(ReadIniValue(c.section, c.key, "fallback", path), c.expected) << c.what;
    }
}

TEST_F(IniFile, WritesAsThePrivateProfileFunctionsDo) {
    for (const IniWriteCase& c : INI_WRITE_CASES) {
        std::remove(path.c_str());
        if (c.before != NO_FILE) Put(path, c.before);
        WriteIniValue(c.section, c.key, c.value, path);
        EXPECT_EQ(Slurp(path), c.after) << c.what;
    }
}

TEST_F(IniFile, SkipsAUtf8ByteOrderMark) {
    Put(path, "\xEF\xBB\xBF[Config]\r\nk=1\r\n");
    EXPECT_EQ(ReadIniValue("Config", "k", "", path), "1");
}

TEST_F(IniFile, WriteKeepsEveryOtherLineByteForByte) {
    const std::string before = "; settings\n[Config]\n  AU List = a, b \n\n;note\nAuto Mode = true\nx\n\n[Z]\ny=1";
    Put(path, before);
    WriteIniValue("Config", "auto mode", "false", path);
    EXPECT_EQ(Slurp(path), "; settings\n[Config]\n  AU List = a, b \n\n;note\nauto mode=false\nx\n\n[Z]\ny=1");
    WriteIniValue("Z", "k", "2", path);
    EXPECT_EQ(Slurp(path), "; settings\n[Config]\n  AU List = a, b \n\n;note\nauto mode=false\nx\n\n[Z]\ny=1\nk=2\n");
}

TEST_F(IniFile, LeavesAReadOnlyFileOrMissingFolderAlone) {
    Put(path, "[Config]\r\nAuto Mode=true\r\n");
    chmod(path.c_str(), 0444);
    WriteIniValue("Config", "Auto Mode", "false", path);
    EXPECT_EQ(Slurp(path), "[Config]\r\nAuto Mode=true\r\n");
    const std::string nowhere = dir.Path() + "/missing/Glyphory.ini";
    WriteIniValue("Config", "Auto Mode", "false", nowhere);
    EXPECT_EQ(ReadIniValue("Config", "Auto Mode", "none", nowhere), "none");
}

}  // namespace
