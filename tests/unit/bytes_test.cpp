#include "base/bytes.h"

#include <cctype>

#include <gtest/gtest.h>

#include "platform/buffer_growth.h"

namespace {

TEST(Bytes, CaseBlanksAndHexDigits) {
    EXPECT_TRUE(EqualsIgnoringCase("Content-Type", "CONTENT-type"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));  // bytes above 0x7F as they are
    EXPECT_TRUE(StartsWithIgnoringCase("Multipart/Mixed", "multipart/"));
    EXPECT_FALSE(StartsWithIgnoringCase("multi", "multipart/"));
    EXPECT_EQ(SkipBlanks(" \t x "), "x ");
    const struct {
        const char* in;
        const char* out;
    } trims[] = {{"", ""}, {" \r\n\t", ""}, {"\tab c\r\n", "ab c"}, {"x", "x"}, {"\v x", "\v x"}};
    for (const auto& c : trims) EXPECT_EQ(Trim(c.in, " \t\r\n"), c.out) << '"' << c.in << '"';
    EXPECT_EQ(Trim(" a\r\n "), "a\r\n");
    const std::string digits = "0123456789abcdef";
    for (int v = 0; v < 16; ++v) {
        EXPECT_EQ(HexDigitValue(static_cast<unsigned char>(digits[v])), v);
        EXPECT_EQ(HexDigitValue(static_cast<unsigned char>(std::toupper(digits[v]))), v);
    }
    for (const char other : {'g', 'G', '/', ':', '@', '`', '\xB0'})
        EXPECT_EQ(HexDigitValue(static_cast<unsigned char>(other)), -1) << other;
}

TEST(Bytes, FindBytesAsFindDoes) {
    const std::string_view texts[] = {"", "--b", "x--b--b", std::string_view()};
    const std::string_view patterns[] = {"", "--b", "--b--", "b"};
    for (const std::string_view text : texts)
        for (const std::string_view pattern : patterns)
            for (size_t from = 0; from <= text.size() + 1; ++from)
                EXPECT_EQ(FindBytes(text, pattern, from), text.find(pattern, from)) << text << " " << pattern << " " << from;
}

TEST(Bytes, ReserveForRestGrowsOnceToTheRate) {
    std::string out(100, 'x');
    out.shrink_to_fit();
    ReserveForRest(out, 0, 10, 1000);  // 10 input bytes gave 100: the rest at that rate
    EXPECT_GE(out.capacity(), 100u + 990u * 10u);
    EXPECT_LE(out.capacity(), 100u + 990u * 10u * 9u / 8u + 1u);
    const size_t capacity = out.capacity();
    ReserveForRest(out, 0, 20, 1000);  // still room: nothing changes
    EXPECT_EQ(out.capacity(), capacity);
    out.append(capacity - out.size() - 10, 'y');
    ReserveForRest(out, 0, 990, 1000);  // a little to come, more than fits: not twice the size
    EXPECT_GT(out.capacity(), capacity);
    EXPECT_LT(out.capacity(), capacity + capacity / 8);
    EXPECT_EQ(out, std::string(100, 'x') + std::string(capacity - 110, 'y'));
}

TEST(Bytes, ReserveMoreGrowsByAQuarterAtLeast) {
    std::string out(1000, 'x');
    out.shrink_to_fit();
    const size_t capacity = out.capacity();
    ReserveMore(out, 1);
    EXPECT_EQ(out.capacity(), capacity + capacity / 4);
    ReserveMore(out, 10 * capacity);  // more than a quarter: exactly that
    EXPECT_EQ(out.capacity(), out.size() + 10 * capacity);
    EXPECT_EQ(out, std::string(1000, 'x'));
}

}  // namespace
