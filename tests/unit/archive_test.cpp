// The pieces of the command's archive handling that stand on their own: dates to sort by, and
// mbox files read a message at a time and written back.
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cli/mail_date.h"
#include "cli/mbox.h"

namespace {

TEST(MailDate, FormsMailCarries) {
    // 2024-03-04 01:00:00 UTC
    constexpr int64_t T = 1709514000;
    EXPECT_EQ(ParseMailDate("Mon, 4 Mar 2024 10:00:00 +0900"), T);
    EXPECT_EQ(ParseMailDate("4 Mar 2024 01:00:00 +0000"), T);
    EXPECT_EQ(ParseMailDate("Sun, 03 Mar 2024 20:00:00 -0500"), T);
    EXPECT_EQ(ParseMailDate("Mon, 4 MAR 2024 10:00 +0900"), T);   // no seconds, and a zone after them
    EXPECT_EQ(ParseMailDate("Mon, 4 Mar 2024 10:00:00 JST"), T);
    EXPECT_EQ(ParseMailDate("Mon, 4 Mar 2024 10:00:00 +0900 (JST)"), T);
    EXPECT_EQ(ParseMailDate("Mon, 4 Mar 24 01:00:00 GMT"), T);     // two-digit year
    EXPECT_EQ(ParseMailDate("Thu, 1 Jan 1970 00:00:00 +0000"), 0);
    EXPECT_EQ(ParseMailDate("Tue, 29 Feb 2000 12:00:00 +0000"), 951825600);  // a leap day
    for (const char* bad : {"", "yesterday", "Mon, 4 Foo 2024 10:00:00 +0900", "Mon, 4 Mar 2024", "32 Mar 2024 10:00"})
        EXPECT_FALSE(ParseMailDate(bad)) << bad;
}

std::vector<std::pair<std::string, std::string>> ReadMbox(const std::string& data) {
    std::istringstream in(data);
    std::vector<std::pair<std::string, std::string>> messages;
    EXPECT_TRUE(ForEachMboxMessage(in, [&](std::string_view from, std::string_view message, bool) {
        messages.emplace_back(std::string(from), std::string(message));
    }));
    return messages;
}

TEST(Mbox, MessagesWithTheirFromLinesEveryByteKept) {
    const std::string data = "From a Mon Mar  4 10:00:00 2024\nX: 1\n\n>From quoted\nbody\n\n"
                             "From b Mon Mar  4 10:00:00 2024\r\nX: 2\r\n\r\nFrom-like\r\n";
    const auto messages = ReadMbox(data);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].first, "From a Mon Mar  4 10:00:00 2024\n");
    EXPECT_EQ(messages[0].second, "X: 1\n\n>From quoted\nbody\n\n");
    EXPECT_EQ(messages[1].first, "From b Mon Mar  4 10:00:00 2024\r\n");
    EXPECT_EQ(messages[1].second, "X: 2\r\n\r\nFrom-like\r\n");
    std::string joined;
    for (const auto& [from, message] : messages) joined += from + message;
    EXPECT_EQ(joined, data);
    // Bytes before the first From line come with none; a message over many pieces stays whole.
    const std::string big(3 << 20, 'x');
    const auto more = ReadMbox("junk\nFrom c\n" + big + "\nFrom d\nlast");
    ASSERT_EQ(more.size(), 3u);
    EXPECT_EQ(more[0], std::make_pair(std::string(), std::string("junk\n")));
    EXPECT_EQ(more[1].second, big + "\n");
    EXPECT_EQ(more[2].second, "last");
    EXPECT_TRUE(ReadMbox("").empty());
}

TEST(Mbox, ABodyOfItsContentLengthKeepsItsFromLinesUnlessARealMessageBeginsThere) {
    const std::string envelope = "From a@b  Tue Dec  8 19:31:08 2026\n", other = "From c@d Wed Dec  9 01:02:03 2026\n";
    const std::string body = "first\nFrom here on\nlast\n";
    const auto withLength = [&](size_t length) { return "Content-Length: " + std::to_string(length) + "\n\n" + body + "\n"; };
    const std::string exact = withLength(body.size()), crlf = "Content-Length: 12\r\n\r\nab\r\nFrom x\r\n\r\n";
    const std::string next = "X: 2\n\nnext\n";
    const std::string tooShort = withLength(3), overReal = withLength(body.size() + 1 + other.size() + next.size() + 1);
    const struct {
        const char* what;
        std::string mbox;
        std::vector<std::pair<std::string, bool>> messages;  // each with whether it was read as quoted
    } cases[] = {
        {"as Dovecot writes it", envelope + exact + other + next, {{exact, false}, {next, true}}},
        {"the last message", envelope + exact, {{exact, false}}},
        {"CR LF lines", envelope + crlf, {{crlf, false}}},
        {"a length that ends in a line: real \"From \" lines tell", envelope + tooShort, {{tooShort, true}}},
        {"a length that ends at a sender's \"From \" line", envelope + withLength(6) + other + next,
         {{withLength(6), true}, {next, true}}},
        {"a length that ends before a \"From \" within a line", envelope + "Content-Length: 3\n\nhi From Tokyo\n\n" + other + next,
         {{"Content-Length: 3\n\nhi From Tokyo\n\n", true}, {next, true}}},
        {"a length that runs over a real message ends at it", envelope + overReal + other + next + "\n" + other + next,
         {{overReal, true}, {next + "\n", true}, {next, true}}},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.mbox);
        std::vector<std::pair<std::string, bool>> messages;
        std::string joined;
        EXPECT_TRUE(ForEachMboxMessage(in, [&](std::string_view from, std::string_view message, bool quoted) {
            messages.emplace_back(std::string(message), quoted);
            joined += std::string(from) + std::string(message);
        }));
        EXPECT_EQ(messages, c.messages) << c.what;
        EXPECT_EQ(joined, c.mbox) << c.what;
    }
}

TEST(Mbox, QuotingRoundTrips) {
    const std::string quoted = "From: a\n\n>From x\n>>From y\n>From\n> From z\nFrom-like\n";
    const std::string plain = UnquoteMboxLines(quoted);
    EXPECT_EQ(plain, "From: a\n\nFrom x\n>From y\n>From\n> From z\nFrom-like\n");
    EXPECT_EQ(QuoteMboxLines(plain), quoted);
    // A header line "From: " is no "From " line; a body line "From " is, and is quoted.
    EXPECT_EQ(QuoteMboxLines("From: a\n\nFrom here\n>From there"), "From: a\n\n>From here\n>>From there");
    // Read by its Content-Length: only a line that a reader would take for another message's.
    EXPECT_EQ(QuoteEnvelopeLines("From: a\n\nFrom here\nFrom x@y Tue Dec  8 19:31:08 2026\n"),
              "From: a\n\nFrom here\n>From x@y Tue Dec  8 19:31:08 2026\n");
}

TEST(Mbox, ContentLengthIsTheBodyWithoutTheSeparatingBlankLine) {
    std::string lf = "Content-Length: 1\nX: y\n\nbody\n\n";
    UpdateContentLength(lf);
    EXPECT_EQ(lf, "Content-Length: 5\nX: y\n\nbody\n\n");
    std::string crlf = "X: y\r\ncontent-length:   99\r\n\r\nab\r\n";
    UpdateContentLength(crlf);
    EXPECT_EQ(crlf, "X: y\r\nContent-Length: 4\r\n\r\nab\r\n");
    std::string none = "X: y\n\nbody\n";
    UpdateContentLength(none);
    EXPECT_EQ(none, "X: y\n\nbody\n");
}

}  // namespace
