#include "mime/mime_reader.h"

#include <gtest/gtest.h>

#include "mime/message_rewriter.h"

namespace {

TEST(SplitHeaderAndBody, CutsAtTheFirstBlankLine) {
    HeaderAndBody s = SplitHeaderAndBody("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore");
    EXPECT_EQ(s.header, "A: 1\r\nB: 2\r\n");
    EXPECT_EQ(s.body, "body\r\n\r\nmore");
    s = SplitHeaderAndBody("A: 1\r\nB: 2\r\n");
    EXPECT_EQ(s.header, "A: 1\r\nB: 2\r\n");
    EXPECT_EQ(s.body, "");
    s = SplitHeaderAndBody("\r\n\r\nbody");
    EXPECT_EQ(s.header, "\r\n");
    EXPECT_EQ(s.body, "body");
    EXPECT_TRUE(SplitHeaderLines(s.header).empty());
}

TEST(SplitHeaderLines, OneEntryPerPhysicalLine) {
    EXPECT_EQ(SplitHeaderLines("A: 1\r\n\tcont\r\n\r\nB: 2"), (HeaderLines{"A: 1", "\tcont", "B: 2"}));
    EXPECT_EQ(SplitHeaderLines("A: 1\nB: 2\r\n"), (HeaderLines{"A: 1\nB: 2"}));
    EXPECT_TRUE(SplitHeaderLines("").empty());
}

TEST(GetHeaderValue, NameInAnyCaseColonAndAnyBlanks) {
    const HeaderLines lines = {"X-Content-Type: a", "Content-Types: b", "Content-type:\t text/html", "Content-Type: second"};
    EXPECT_EQ(GetHeaderValue(lines, "Content-Type"), "text/html");
    EXPECT_EQ(GetHeaderValue({"CONTENT-TYPE:text/plain;charset=UTF-8"}, "Content-Type"), "text/plain;charset=UTF-8");
    EXPECT_EQ(GetHeaderValue(lines, "Subject"), "");
    EXPECT_EQ(GetHeaderValue({"Content-Type: text/plain\nX: y"}, "Content-Type"), "");
    EXPECT_EQ(GetHeaderValue({"Content-Type : text/plain"}, "Content-Type"), "");
    EXPECT_EQ(GetHeaderValue({"X: "}, "X"), "");
    EXPECT_EQ(GetHeaderValue({"X:"}, "X"), "");
    // Continuation lines belong to the value; the next header does not.
    EXPECT_EQ(GetHeaderValue({"Content-Type:multipart/alternative;", "  boundary=\"b\"", "\tx=1", "Y: 2", " z"}, "Content-Type"),
              "multipart/alternative;  boundary=\"b\"\tx=1");
}

TEST(SetHeader, ReplacesTheFirstLineInAnyCaseWithItsContinuationLines) {
    HeaderLines lines = {"content-type:text/plain;", " charset=x", "A: 1", "Content-Type: second", " more"};
    SetHeader(lines, "Content-Type", "Content-Type: new");
    EXPECT_EQ(lines, (HeaderLines{"A: 1", "Content-Type: second", " more", "Content-Type: new"}));
}

TEST(IsPlainTextType, LooksAtTheMediaTypeOnly) {
    const struct {
        const char* value;
        bool plain;
    } cases[] = {
        {"text/plain", true},
        {"text/plain; charset=\"ISO-2022-JP\"", true},
        {"  text/plain ;format=flowed", true},
        {"text/plainx", false},
        {"Text/Plain", true},
        {"TEXT/PLAIN;charset=UTF-8", true},
        {"text/html", false},
        {"multipart/mixed; boundary=\"text/plain\"", false},
        {"application/octet-stream; name=\"text/plain\"", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPlainTextType(c.value), c.plain) << c.value;
}

TEST(GetMultipartBoundary, QuotedOrTokenNeverEmpty) {
    const struct {
        const char* value;
        const char* boundary;  // null: no usable boundary
    } cases[] = {
        {"multipart/mixed; boundary=\"abc def\"; x=1", "abc def"},
        {"multipart/mixed; boundary = \"abc\"", "abc"},
        {"Multipart/Mixed; boundary=abc;x=1", "abc"},
        {"multipart/mixed; boundary=abc def", "abc"},
        {"multipart/mixed; boundary=\"abc", "abc"},
        {"multipart/mixed;", nullptr},
        {"multipart/mixed; boundary=\"\"", nullptr},
        {"multipart/mixed; boundary=", nullptr},
        {"multipart/mixed; boundary \"abc\"", nullptr},
        {"MULTIPART/MIXED; boundary=\"abc\"", "abc"},
        {"multipart/mixed; Boundary=\"abc\"", "abc"},
        {"multipart/mixed; x-boundary-id=1; boundary=\"b\"", "b"},
        {"multipart/mixed; x=\"a;boundary=c\"; boundary=d", "d"},
        {"multipart/mixed; x-boundary=\"abc\"", nullptr},
        {"multipartx/mixed; boundary=\"abc\"", nullptr},
        {"application/x-multipart; boundary=\"abc\"", nullptr},
        {"multipart/signed; boundary=\"abc\"", nullptr},
        {" Multipart/Encrypted; boundary=\"abc\"", nullptr},
        {"text/plain; boundary=\"abc\"", nullptr},
    };
    for (const auto& c : cases) {
        std::string boundary;
        EXPECT_EQ(GetMultipartBoundary(c.value, boundary), c.boundary != nullptr) << c.value;
        if (c.boundary) {
            EXPECT_EQ(boundary, c.boundary) << c.value;
        }
    }
}

TEST(GetTypeParameter, FindsTheNamedParameter) {
    EXPECT_EQ(GetTypeParameter("text/plain; charset=\"Shift_JIS\"", "charset"), "Shift_JIS");
    EXPECT_EQ(GetTypeParameter("text/plain;CHARSET = shift_jis ; x=1", "charset"), "shift_jis");
    EXPECT_EQ(GetTypeParameter("text/plain; xcharset=a", "charset"), "");
    EXPECT_EQ(GetTypeParameter("text/plain", "charset"), "");
}

TEST(SplitMultipartBody, PreamblePartsClosingEpilogue) {
    const std::string body =
        "preamble\r\n--b\r\nA: 1\r\n\r\none\r\n--b\r\nA: 2\r\n\r\ntwo\r\n--b--\r\nepilogue\r\n";
    const MultipartBody split = SplitMultipartBody(body, "b");
    EXPECT_EQ(split.preamble, "preamble\r\n");
    EXPECT_EQ(split.parts, (PartList{"A: 1\r\n\r\none\r\n", "A: 2\r\n\r\ntwo\r\n"}));
    EXPECT_TRUE(split.closed);
    EXPECT_EQ(split.epilogue, "\r\nepilogue\r\n");
    EXPECT_EQ(JoinMultipartBody(split, split.parts, "b"), body);
}

TEST(SplitMultipartBody, WithoutClosingDelimiterTheLastPartRunsToTheEnd) {
    const MultipartBody split = SplitMultipartBody("--b\r\none\r\n--b\r\ntwo", "b");
    EXPECT_EQ(split.parts, (PartList{"one\r\n", "two"}));
    EXPECT_FALSE(split.closed);
    EXPECT_EQ(JoinMultipartBody(split, split.parts, "b"), "--b\r\none\r\n--b\r\ntwo--b--\r\n");
    const MultipartBody none = SplitMultipartBody("no delimiter at all", "b");
    EXPECT_TRUE(none.parts.empty());
    EXPECT_EQ(none.preamble, "no delimiter at all");
}

TEST(SplitMultipartBody, WritesEveryByteBack) {
    for (const char* body : {"--b  \t\r\nA: 1\r\n\r\nx\r\n--b--", "--bA: 1\r\n\r\nx\r\n--b--  \r\n", "\r\n--b\r\n\r\n--b--",
                             "--b\r\n--b\r\n--b--", "x--b--y--b--z", "--bb\r\none\r\n--b--"}) {
        const MultipartBody split = SplitMultipartBody(body, "b");
        EXPECT_EQ(JoinMultipartBody(split, split.parts, "b"), body) << body;
    }
    // A boundary that begins a longer one matches it too, as a plain substring.
    EXPECT_EQ(SplitMultipartBody("--b\r\none\r\n--bb\r\ntwo\r\n--b--", "b").parts.size(), 2u);
}

}  // namespace
