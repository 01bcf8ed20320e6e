#include "mime/text_lines.h"

#include <gtest/gtest.h>

namespace {

TEST(TextLines, FlowedAsAReaderShowsIt) {
    const struct {
        std::string text;
        bool delSp;
        std::string shown;
    } cases[] = {
        {"a \r\nb\r\nc", false, "a b\r\nc"},
        {"a \r\nb \r\n", true, "ab \r\n"},  // only a joined line loses its space
        {"a \nb\n", false, "a b\r\n"},  // LF line ends, as decoded text may have them
        {" From \r\n x\r\n", false, "From x\r\n"},  // stuffed spaces go
        {"> a \r\n> b \r\n>> c\r\n", false, "> a b \r\n>> c\r\n"},  // no joining across depths
        {"-- \r\nsig", false, "-- \r\nsig"},
        {"", false, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(UnflowText(c.text, c.delSp), c.shown) << c.text;
    EXPECT_EQ(WithCrLfLineEnds("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
}

}  // namespace
