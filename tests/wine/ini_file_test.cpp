// The same INI cases as the portable reader and writer pass, against Windows' own
// private-profile functions.
#include <windows.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "tests/common/ini_cases.h"

namespace {

std::string TempIniPath() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "glyphory-ini-test.ini";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Reset(const std::string& path, const std::string& text) {
    DeleteFileA(path.c_str());
    if (text != NO_FILE) std::ofstream(path, std::ios::binary) << text;
}

TEST(PrivateProfile, ReadsAsThePortableReaderDoes) {
    const std::string path = TempIniPath();
    for (const IniReadCase& c : INI_READ_CASES) {
        Reset(path, c.file);
        EXPECT_EQ(ReadIniValue(c.section, c.key, "fallback", path), c.expected) << c.what;
    }
    DeleteFileA(path.c_str());
}

TEST(PrivateProfile, WritesAsThePortableWriterDoes) {
    const std::string path = TempIniPath();
    for (const IniWriteCase& c : INI_WRITE_CASES) {
        Reset(path, c.before);
        WriteIniValue(c.section, c.key, c.value, path);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush the cache
        EXPECT_EQ(Slurp(path), c.after) << c.what;
    }
    DeleteFileA(path.c_str());
}

}  // namespace
