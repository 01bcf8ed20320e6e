#include "host/mail_host.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const char MESSAGE[] =
    "From: Taro <taro@docomo.ne.jp>\r\n"
    "subject: first\r\n"
    " second\r\n"
    "X-Empty:\r\n"
    "\r\n"
    "From: not a header\r\n";

TEST(FindHeaderField, MatchesNameWithoutRegardToCaseAndUnfolds) {
    EXPECT_EQ(FindHeaderField(MESSAGE, "from"), "Taro <taro@docomo.ne.jp>");
    EXPECT_EQ(FindHeaderField(MESSAGE, "Subject"), "first second");
    EXPECT_EQ(FindHeaderField(MESSAGE, "X-Empty"), "");
    EXPECT_EQ(FindHeaderField(MESSAGE, "To"), "");
    EXPECT_EQ(FindHeaderField("From: a\nTo: b\n\nTo: c\n", "To"), "b");
    EXPECT_EQ(FindHeaderField("", "From"), "");
}

TEST(MailHost, WritesHeaderWithinTheGivenSize) {
    MailHost host;
    host.SetCurrentMessage(MESSAGE);
    char buffer[8];
    EXPECT_EQ(host.GetSpecifiedHeader("From", buffer, 5), 4);
    EXPECT_STREQ(buffer, "Taro");
    EXPECT_EQ(host.GetSpecifiedHeader("To", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(MailHost, ReplacesSourceAndCountsCalls) {
    MailHost host;
    host.SetCurrentMessage("a");
    EXPECT_STREQ(host.GetSource(), "a");
    host.SetSource("b");
    host.SetSource("c");
    EXPECT_EQ(host.CurrentSource(), "c");
    EXPECT_EQ(host.SetSourceCalls(), 2);
}

TEST(MailHost, HandsOutCommandIdsAndKeepsStateCallbacks) {
    MailHost host;
    const int32_t first = host.RegisterCommand("one", 0, nullptr);
    const int32_t second = host.RegisterCommand("two", 1, nullptr);
    EXPECT_EQ(second, first + 1);
    BkStateProc state = [](intptr_t, intptr_t) -> uint32_t { return 1; };
    EXPECT_EQ(host.RegisterUICallback(second, state), 1);
    EXPECT_EQ(host.RegisterUICallback(first - 1, state), 0);
    ASSERT_EQ(host.Commands().size(), 2u);
    EXPECT_EQ(host.Commands()[1].state, state);
    EXPECT_EQ(host.Commands()[0].state, nullptr);
    EXPECT_EQ(host.Commands()[1].menuKind, 1);
}

TEST(BuiltinHost, FillsEverySlot) {
    CHostApi table;
    BindBuiltinHost(table);
    EXPECT_NE(table.m_hModule, nullptr);
#define GLYPHORY_CHECK(name, type) EXPECT_NE(table.BKA_##name, nullptr) << #name;
    GLYPHORY_HOST_FUNCTIONS(GLYPHORY_CHECK, GLYPHORY_CHECK)
#undef GLYPHORY_CHECK
    TheMailHost().SetCurrentMessage("Subject: \x1B$B\x30\x21\x1B(B\r\n\r\n");
    char buffer[64];
    table.BKA_GetSpecifiedHeader("Subject", buffer, sizeof buffer);
    EXPECT_STREQ(table.BKA_ISO_2022_JP(buffer, ISO2022JP_TO_SJIS), "\x88\x9F");
}

}  // namespace

namespace {

TEST(MailHost, DecodesEncodedWordsToTheirOwnBytes) {
    MailHost host;
    host.SetCurrentMessage(
        "Subject: =?iso-2022-jp?B?GyRCQmpMPnZeGyhC?= =?Shift_JIS?Q?=F8=9F_x?= tail\r\nFrom: =?bad?X?abc?= a\r\n\r\n");
    char buffer[256];
    host.GetSpecifiedHeader("Subject", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "\x1B$BBjL>v^\x1B(B\xF8\x9F x tail");  // the blank between the two words goes
    host.GetSpecifiedHeader("From", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "=?bad?X?abc?= a");
}

}  // namespace
