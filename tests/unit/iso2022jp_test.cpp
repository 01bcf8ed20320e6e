#include "host/iso2022jp.h"

#include <iconv.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

// glibc's converter, an independent implementation of both charsets.
bool Iconv(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buf(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buf.data();
    size_t dstLeft = buf.size();
    bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.assign(buf.data(), buf.size() - dstLeft);
    return ok;
}

std::string Jis(unsigned char row, unsigned char cell) {
    return std::string("\x1B$B") + static_cast<char>(row) + static_cast<char>(cell) + "\x1B(B";
}

std::string Bytes(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(Iso2022Jp, AgreesWithIconvOverJisX0208) {
    int compared = 0;
    for (int row = 0x21; row <= 0x74; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            const std::string jis = Jis(static_cast<unsigned char>(row), static_cast<unsigned char>(cell));
            std::string utf8, sjis;
            if (!Iconv("UTF-8", "ISO-2022-JP", jis, utf8) || !Iconv("SHIFT_JIS", "UTF-8", utf8, sjis))
                continue;  // unassigned in JIS X 0208
            ++compared;
            ASSERT_EQ(DecodeIso2022Jp(jis), sjis) << std::hex << row << ' ' << cell;
            std::string jisBack;
            ASSERT_TRUE(Iconv("ISO-2022-JP", "SHIFT_JIS", sjis, jisBack));
            ASSERT_EQ(EncodeIso2022Jp(sjis), jisBack) << std::hex << row << ' ' << cell;
        }
    }
    EXPECT_GT(compared, 6800);  // JIS X 0208 assigns 6,879 characters
}

TEST(Iso2022Jp, AgreesWithIconvOnMixedText) {
    const std::string sjis = "Re: \x8D\xA1\x93\xFA\x82\xCD 10:30\r\n\x89\xEF\x8B\x63 ok\r\n";
    std::string expected;
    ASSERT_TRUE(Iconv("ISO-2022-JP", "SHIFT_JIS", sjis, expected));
    EXPECT_EQ(EncodeIso2022Jp(sjis), expected);
    EXPECT_EQ(DecodeIso2022Jp(expected), sjis);
    // ASCII is passed in words: a kanji, or a half-width katakana, at every place in and after one.
    for (size_t at = 0; at <= 17; ++at) {
        const std::string a(at, 'a'), b(18 - at, 'b');
        const std::string kanji = a + "\x89\xEF" + b + "\x89\xEF" + "c";
        ASSERT_TRUE(Iconv("ISO-2022-JP", "SHIFT_JIS", kanji, expected));
        EXPECT_EQ(EncodeIso2022Jp(kanji), expected) << at;
        EXPECT_EQ(EncodeIso2022Jp(a + "\xB6" + b + "\xC5" + "c"), a + "\x1B(I6\x1B(B" + b + "\x1B(IE\x1B(Bc") << at;
    }
}

TEST(Iso2022Jp, MapsAuPictographRowsToAuCodes) {
    const struct { unsigned char row, cell, lead, trail; } cases[] = {
        {0x75, 0x21, 0xF6, 0x40}, {0x76, 0x7D, 0xF6, 0xFB}, {0x77, 0x21, 0xF7, 0x40},
        {0x79, 0x21, 0xF3, 0x40}, {0x7B, 0x6D, 0xF4, 0x8D}, {0x7C, 0x7E, 0xF4, 0xFC},
        {0x7D, 0x21, 0xEF, 0x40}, {0x7E, 0x7E, 0xEF, 0xFC},
    };
    for (const auto& c : cases) {
        const std::string sjis = Bytes({c.lead, c.trail});
        EXPECT_EQ(DecodeIso2022Jp(Jis(c.row, c.cell)), sjis) << std::hex << int(c.row) << int(c.cell);
        EXPECT_EQ(EncodeIso2022Jp(sjis), Jis(c.row, c.cell)) << std::hex << int(c.lead) << int(c.trail);
    }
}

TEST(Iso2022Jp, PassesCodesWithoutSevenBitFormUnchanged) {
    for (unsigned char lead : {0xEB, 0xEE, 0xF0, 0xF2, 0xF5, 0xF8, 0xF9, 0xFB, 0xFC}) {
        const std::string text = "a" + Bytes({lead, 0x9F}) + "b";
        EXPECT_EQ(EncodeIso2022Jp(text), text) << std::hex << int(lead);
        EXPECT_EQ(DecodeIso2022Jp(text), text);
    }
    // Between two kanji the pictograph leaves JIS X 0208 and comes back after it.
    const std::string mixed = "\x88\x9F" "\xF8\x9F" "\x88\x9F";
    EXPECT_EQ(EncodeIso2022Jp(mixed), "\x1B$B\x30\x21\x1B(B\xF8\x9F\x1B$B\x30\x21\x1B(B");
    EXPECT_EQ(DecodeIso2022Jp(EncodeIso2022Jp(mixed)), mixed);
}

TEST(Iso2022Jp, HalfWidthKatakanaUseJisX0201) {
    EXPECT_EQ(EncodeIso2022Jp("A\xB1\xDF" "B"), "A\x1B(I\x31\x5F\x1B(BB");
    EXPECT_EQ(DecodeIso2022Jp("A\x1B(I\x31\x5F\x1B(BB"), "A\xB1\xDF" "B");
}

TEST(Iso2022Jp, DecodesEveryEscapeItKnows) {
    EXPECT_EQ(DecodeIso2022Jp("\x1B$@\x30\x21\x1B(Jx"), "\x88\x9F" "x");
    EXPECT_EQ(DecodeIso2022Jp("\x1B$B\x30\x21\x1B(Bx"), "\x88\x9F" "x");
}

TEST(Iso2022Jp, PassesUnknownEscapesAndStrayBytes) {
    // JIS X 0212 is not decoded: the escape and the bytes after it stay as they came.
    EXPECT_EQ(DecodeIso2022Jp("\x1B$(D\x30\x21"), "\x1B$(D\x30\x21");
    EXPECT_EQ(DecodeIso2022Jp("x\x1B"), "x\x1B");
    // Inside JIS X 0208: line ends, 8-bit bytes and a lone 7-bit byte pass unchanged.
    EXPECT_EQ(DecodeIso2022Jp("\x1B$B\x30\x21\r\n\x30\x21\xF8\x9F\x30"),
              "\x88\x9F\r\n\x88\x9F\xF8\x9F\x30");
    // A lead byte without a valid trail byte goes out alone.
    EXPECT_EQ(EncodeIso2022Jp("\x88" " x\x88"), "\x88" " x\x88");
    EXPECT_EQ(EncodeIso2022Jp("\x88\x7F"), "\x88\x7F");
    EXPECT_EQ(EncodeIso2022Jp(""), "");
    EXPECT_EQ(DecodeIso2022Jp(""), "");
}

TEST(Iso2022Jp, DecodeUndoesEncodeForAnyTextWithoutEscape) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int i = length(random); i > 0; --i) {
            const int b = byte(random);
            if (b != 0x1B && b != 0) text += static_cast<char>(b);
        }
        ASSERT_EQ(DecodeIso2022Jp(EncodeIso2022Jp(text)), text);
    }
}

}  // namespace
