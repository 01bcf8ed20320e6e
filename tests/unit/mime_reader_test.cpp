#include "mime/mime_reader.h"

#include <gtest/gtest.h>

#include "mime/header_lines.h"
#include "mime/mime_tree.h"
#include "tests/common/mime_parts.h"

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

// The entity at index written back from its tree, as the rewrite writes an entity that keeps
// its parts (one without its closing delimiter it writes as it came).
std::string WrittenBack(const MimeTree& tree, size_t index) {
    const MimeEntity& entity = tree[index];
    if (entity.media != MediaKind::Multipart || !entity.closed) return std::string(entity.text);
    const std::string boundary = KindOf(entity).boundary;
    std::string out = std::string(entity.Header()) + "\r\n" + std::string(entity.Preamble());
    for (size_t part = FirstPart(index); part < entity.end; part = tree[part].end)
        out += "--" + boundary + std::string(tree[part].DelimiterEnd()) + WrittenBack(tree, part);
    return out + "--" + boundary + "--" + std::string(entity.Epilogue());
}

const std::string MIXED = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";

TEST(ReadMimeTree, PreamblePartsClosingEpilogue) {
    const std::string message = MIXED + "preamble\r\n--b\r\nA: 1\r\n\r\none\r\n--b\r\nA: 2\r\n\r\ntwo\r\n--b--\r\nepilogue\r\n";
    const MimeTree tree = ReadMimeTree(message);
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].Preamble(), "preamble\r\n");
    EXPECT_EQ(PartTextsOf(message), (std::vector<std::string_view>{"A: 1\r\n\r\none\r\n", "A: 2\r\n\r\ntwo\r\n"}));
    EXPECT_TRUE(tree[0].closed);
    EXPECT_EQ(tree[0].Epilogue(), "\r\nepilogue\r\n");
    EXPECT_EQ(WrittenBack(tree, 0), message);
    // Without a closing delimiter the last part runs to the end.
    const std::string unclosed = MIXED + "--b\r\none\r\n--b\r\ntwo";
    const MimeTree open = ReadMimeTree(unclosed);
    EXPECT_FALSE(open[0].closed);
    EXPECT_EQ(open.back().text, "two");
}

TEST(ReadMimeTree, DelimitersBeginLinesAndBelongToTheInnermostEntity) {
    const std::string inner = "Content-Type: multipart/alternative; boundary=\"bb\"\r\n\r\n";
    const struct {
        std::string body;
        std::vector<std::string> parts;  // of the outer entity
    } cases[] = {
        {"--b\r\none --b\r\n--b\r\ntwo x--b--\r\n", {"one --b\r\n", "two x--b--\r\n"}},      // not at a line's start
        {"--b\r\none\r\n--bb\r\ntwo\r\n--b--", {"one\r\n", "b\r\ntwo\r\n"}},                  // a longer one begins with it
        {"--b\r\n" + inner + "--bb\r\nx\r\n--bb--\r\n--b--", {inner + "--bb\r\nx\r\n--bb--\r\n"}},  // the inner one's own
        {"--b\r\n" + inner + "--bb\r\nx\r\n--b\r\ny\r\n--b--", {inner + "--bb\r\nx\r\n", "y\r\n"}},  // an outer one ends it
    };
    for (const auto& c : cases) {
        const std::string message = MIXED + c.body;
        const std::vector<std::string_view> parts = PartTextsOf(message);
        EXPECT_EQ(std::vector<std::string>(parts.begin(), parts.end()), c.parts) << c.body;
        EXPECT_EQ(WrittenBack(ReadMimeTree(message), 0), message) << c.body;
    }
}

TEST(ReadMimeTree, WritesEveryByteBack) {
    for (const char* body : {"--b  \t\r\nA: 1\r\n\r\nx\r\n--b--", "--bA: 1\r\n\r\nx\r\n--b--  \r\n", "\r\n--b\r\n\r\n--b--",
                             "--b\r\n--b\r\n--b--", "--bb\r\none\r\n--b--", "--b\r\nA: 1\r\n--b--\r\n\r\nx"}) {
        const std::string message = MIXED + body;
        EXPECT_EQ(WrittenBack(ReadMimeTree(message), 0), message) << body;
    }
}

TEST(ReadMimeTree, EntitiesDeeperThanTheBoundAreBytes) {
    std::string message;
    for (int depth = 0; depth <= MAX_MIME_DEPTH; ++depth)
        message += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(depth) + "x\"\r\n\r\n--b" + std::to_string(depth) + "x\r\n";
    message += "Content-Type: text/plain\r\n\r\nx";
    const MimeTree tree = ReadMimeTree(message);
    ASSERT_EQ(tree.size(), static_cast<size_t>(MAX_MIME_DEPTH) + 1);
    EXPECT_EQ(tree.back().media, MediaKind::Other);
    EXPECT_EQ(tree.back().text, "Content-Type: multipart/mixed; boundary=\"b64x\"\r\n\r\n--b64x\r\nContent-Type: text/plain\r\n\r\nx");
}

}  // namespace
