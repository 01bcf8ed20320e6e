#include "settings/plugin_settings.h"

#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/temp_dir.h"

namespace {

using Entries = std::vector<std::string>;

TEST(ParseListValue, SplitsTrimsAndTakesOutTheWildcard) {
    const struct {
        const char* value;
        Entries entries;
        bool wildcard;
    } cases[] = {
        {"", {}, false},
        {"aa, bb ,cc,", {"aa", "bb", "cc"}, false},
        {"aa,,bb", {"aa", "", "bb"}, false},
        {",", {""}, false},
        {" , \t", {""}, false},
        {"aa,  \r\n", {"aa"}, false},
        {"*", {}, true},
        {" * ,aa", {"aa"}, true},
        {"**,*x, a b ", {"**", "*x", "a b"}, false},
        {"aa,aa", {"aa", "aa"}, false},
    };
    for (const auto& c : cases) {
        const ParsedList parsed = ParseListValue(c.value);
        EXPECT_EQ(parsed.entries, c.entries) << '"' << c.value << '"';
        EXPECT_EQ(parsed.hasWildcard, c.wildcard) << '"' << c.value << '"';
    }
}

class Settings : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.Path() + "/Glyphory.ini";
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Slurp() {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    CPluginSettings Loaded(const std::string& config) {
        Write("[Config]\r\n" + config);
        CPluginSettings settings(path);
        settings.Load();
        return settings;
    }
};

TEST_F(Settings, DefaultsWithoutAFile) {
    CPluginSettings settings(path);
    settings.m_bAutoMode = true;
    settings.m_listDocomo = {"x"};
    settings.Load();
    EXPECT_FALSE(settings.m_bAutoMode);
    EXPECT_EQ(settings.m_listAU, Entries{"ezweb.ne.jp"});
    EXPECT_TRUE(settings.m_listDocomo.empty());
    EXPECT_TRUE(settings.m_listSoftbank.empty());
    EXPECT_EQ(settings.m_nDefaultCarrier, CARRIER_NONE);
    EXPECT_EQ(settings.m_strIniPath, path);
}

TEST_F(Settings, AutoModeOnlyForExactlyTrue) {
    EXPECT_TRUE(Loaded("Auto Mode=true\r\n").m_bAutoMode);
    for (const char* value : {"True", "TRUE", "1", "", "true x"})
        EXPECT_FALSE(Loaded(std::string("Auto Mode=") + value + "\r\n").m_bAutoMode) << value;
}

TEST_F(Settings, ListsReplaceTheDefaults) {
    EXPECT_TRUE(Loaded("AU List=\r\n").m_listAU.empty());
    const CPluginSettings s = Loaded("AU List=ido.ne.jp\r\nDocomo List=aa, bb ,cc,\r\nSoftbank List=,\r\n");
    EXPECT_EQ(s.m_listAU, Entries{"ido.ne.jp"});
    EXPECT_EQ(s.m_listDocomo, (Entries{"aa", "bb", "cc"}));
    EXPECT_EQ(s.m_listSoftbank, Entries{""});
}

TEST_F(Settings, LaterListsWildcardWins) {
    EXPECT_EQ(Loaded("Softbank List=*\r\n").m_nDefaultCarrier, CARRIER_SOFTBANK);
    EXPECT_TRUE(Loaded("Softbank List=*\r\n").m_listSoftbank.empty());
    EXPECT_EQ(Loaded("AU List=*\r\nDocomo List=*\r\n").m_nDefaultCarrier, CARRIER_DOCOMO);
    EXPECT_EQ(Loaded("AU List=*\r\n").m_nDefaultCarrier, CARRIER_AU);
    EXPECT_EQ(Loaded("AU List=*\r\nDocomo List=*\r\nSoftbank List=*\r\n").m_nDefaultCarrier, CARRIER_SOFTBANK);
}

TEST_F(Settings, ValueCountsUpTo4095Bytes) {
    // The cut falls inside the entry that starts at byte 4090.
    const std::string value = std::string(4089, 'a') + ",bcdefgh";
    const CPluginSettings s = Loaded("Docomo List=" + value + "\r\n");
    EXPECT_EQ(s.m_listDocomo, (Entries{std::string(4089, 'a'), "bcdef"}));
}

TEST_F(Settings, SaveWritesOnlyAutoModeAndKeepsTheRest) {
    CPluginSettings fresh(path);
    fresh.m_bAutoMode = true;
    fresh.Save();
    EXPECT_EQ(Slurp(), "[Config]\r\nAuto Mode=true\r\n");

    Write("; lists\r\n[Config]\r\nAU List=a\r\nAuto Mode=true\r\nDocomo List=b\r\n");
    CPluginSettings settings(path);
    settings.Load();
    settings.m_bAutoMode = false;
    settings.Save();
    EXPECT_EQ(Slurp(), "; lists\r\n[Config]\r\nAU List=a\r\nAuto Mode=false\r\nDocomo List=b\r\n");
}

TEST_F(Settings, WithoutAPathNothingIsReadOrWritten) {
    Write("[Config]\r\nAuto Mode=true\r\n");
    CPluginSettings settings("");
    settings.Load();
    EXPECT_FALSE(settings.m_bAutoMode);
    settings.m_bAutoMode = true;
    settings.Save();
    EXPECT_EQ(Slurp(), "[Config]\r\nAuto Mode=true\r\n");
}

TEST(ClassifySender, ListsInOrderThenTheDefault) {
    CPluginSettings s("");
    s.m_listAU = {"ezweb.ne.jp"};
    s.m_listDocomo = {"docomo.ne.jp"};
    s.m_listSoftbank = {"softbank.ne.jp", "i.softbank.jp"};
    const struct {
        const char* from;
        CarrierCode expected;
    } cases[] = {
        {"taro@ezweb.ne.jp", CARRIER_AU},
        {"taro@EZWEB.NE.JP", CARRIER_NONE},
        {"\"ezweb.ne.jp fan\" <taro@example.com>", CARRIER_AU},
        {"x@i.softbank.jp", CARRIER_SOFTBANK},
        {"a@docomo.ne.jp, b@softbank.ne.jp", CARRIER_DOCOMO},
        {"b@softbank.ne.jp (not docomo.ne.jp)", CARRIER_DOCOMO},
        {"a@docomo.ne.jp <b@ezweb.ne.jp>", CARRIER_AU},
        {"", CARRIER_NONE},
        {"docomo.ne.j", CARRIER_NONE},
    };
    for (const auto& c : cases) EXPECT_EQ(s.ClassifySender(c.from), c.expected) << c.from;

    s.m_nDefaultCarrier = CARRIER_SOFTBANK;
    EXPECT_EQ(s.ClassifySender("anyone@example.com"), CARRIER_SOFTBANK);
    EXPECT_EQ(s.ClassifySender(""), CARRIER_SOFTBANK);
}

TEST(ClassifySender, AnEmptyEntryMatchesEverySender) {
    CPluginSettings s("");
    s.m_listAU = {"ezweb.ne.jp"};
    s.m_listDocomo = {"docomo.ne.jp", ""};
    s.m_listSoftbank = {"softbank.ne.jp"};
    s.m_nDefaultCarrier = CARRIER_SOFTBANK;
    EXPECT_EQ(s.ClassifySender("x@softbank.ne.jp"), CARRIER_DOCOMO);
    EXPECT_EQ(s.ClassifySender(""), CARRIER_DOCOMO);
    EXPECT_EQ(s.ClassifySender("x@ezweb.ne.jp"), CARRIER_AU);
}

}  // namespace
