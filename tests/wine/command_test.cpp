// The conversion command as the mail client drives it: menu, state callback, automatic
// conversion on opening, and the settings file beside the module deciding who qualifies.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/mail_host.h"
#include "mime/transfer_encoding.h"
#include "render/utf8.h"
#include "tests/common/faithful_cases.h"
#include "tests/wine/loaded_plugin.h"

namespace {

using MenuInitProc = int32_t(WINAPI*)(HWND, HMENU, int32_t);
using OpenMailProc = int32_t(WINAPI*)(LPCSTR);

const char DOCOMO_INI[] = "[Config]\r\nAuto Mode=true\r\nDocomo List=docomo.ne.jp\r\n";

std::string DocomoMail(const std::string& extraHeader = "") {
    return "From: Hanako <hanako@docomo.ne.jp>\r\nSubject: sun\r\n" + extraHeader +
           "Content-Type: text/plain; charset=\"Shift_JIS\"\r\n\r\nA\xF8\x9F" "B\r\n";
}

// Opens the message as the client does when the user selects it.
void Open(const LoadedPlugin& plugin, const std::string& message) {
    TheMailHost().SetCurrentMessage(message);
    plugin.Export<OpenMailProc>("BKC_OnOpenMail")(nullptr);
}

// The state callback the plug-in registered last.
uint32_t CommandState() {
    const auto& commands = TheMailHost().Commands();
    return commands.empty() || !commands.back().state ? 99 : commands.back().state(0, 0);
}

class Command : public ::testing::Test {
protected:
    // A main window menu of five sub-menus, as the client's; the plug-in's item goes into the fifth.
    void SetUp() override {
        menu = CreateMenu();
        for (int i = 0; i < 5; ++i) {
            const HMENU sub = CreatePopupMenu();
            AppendMenuA(sub, MF_STRING, 100 + i, "host item");
            AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "menu");
        }
    }
    void TearDown() override { DestroyMenu(menu); }
    HMENU menu = nullptr;
};

TEST_F(Command, MenuKindZeroGetsTheItemAtTheEndOfTheFifthSubMenu) {
    LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif"});
    ASSERT_NE(plugin.Module(), nullptr);
    const size_t before = TheMailHost().Commands().size();
    EXPECT_EQ(plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 1), 0);
    EXPECT_EQ(TheMailHost().Commands().size(), before);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 4)), 1);

    EXPECT_EQ(plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0), 0);
    ASSERT_EQ(TheMailHost().Commands().size(), before + 1);
    const RegisteredCommand& command = TheMailHost().Commands().back();
    EXPECT_EQ(command.description, "Information about this Command");
    EXPECT_EQ(command.menuKind, 0);
    EXPECT_NE(command.state, nullptr);
    const HMENU sub = GetSubMenu(menu, 4);
    ASSERT_EQ(GetMenuItemCount(sub), 2);
    char text[256] = {};
    GetMenuStringA(sub, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), Cp932("携帯用絵文字表示HTML作成"));
    EXPECT_EQ(GetMenuItemID(sub, 1), static_cast<UINT>(MailHost::FIRST_COMMAND_ID + before));
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 3)), 1);

    // Every call registers and appends anew; the command converts the current message.
    plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0);
    EXPECT_EQ(GetMenuItemCount(sub), 3);
    TheMailHost().SetCurrentMessage(DocomoMail());
    EXPECT_EQ(CommandState(), 0u);
    TheMailHost().Commands().back().command(0, 0);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 1);
    EXPECT_EQ(CommandState(), 1u);  // converted: the marker is there now
}

TEST_F(Command, OpeningConvertsADocomoMessageOnce) {
    LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif", "docomo\\f8a0.gif"});
    ASSERT_NE(plugin.Module(), nullptr);
    Open(plugin, DocomoMail());
    ASSERT_EQ(TheMailHost().SetSourceCalls(), 1);
    const std::string result = TheMailHost().CurrentSource();
    const size_t at = result.find("boundary=\"") + 10;
    const std::string boundary = result.substr(at, 64);
    EXPECT_EQ(result,
              "From: Hanako <hanako@docomo.ne.jp>\r\nSubject: sun\r\nCreateZaverGlyphory: true\r\n"
              "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n"
              "--" + boundary + "\r\nContent-Type: text/plain; charset=\"Shift_JIS\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
              "A\xF8\x9F" "B\r\n\r\n\r\n"
              "--" + boundary + "\r\nContent-Type: text/html; charset=\"ISO-2022-JP\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
              "<HTML>\r\n<BODY>\r\n<FONT  face=\"\x1B$B#M#S\x1B(B \x1B$B%4%7%C%/\x1B(B\" size=\"2\">A" +
                  plugin.Tag("docomo", "F89F.gif") + "B<BR>\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n--" + boundary + "--\r\n");
    EXPECT_EQ(boundary.substr(0, 9), "--------_");

    // Opened again, the marker keeps it as it is.
    Open(plugin, result);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
}

TEST_F(Command, OnlyThePictographsChange) {
    LoadedPlugin plugin("[Config]\r\nAuto Mode=true\r\nDocomo List=docomo.ne.jp\r\nAU List=ezweb.ne.jp\r\n", FAITHFUL_IMAGES);
    ASSERT_NE(plugin.Module(), nullptr);
    for (const FaithfulCase& c : FAITHFUL_CASES) {
        Open(plugin, c.message);
        ExpectFaithful(c, TheMailHost().CurrentSource());
    }
}

// With "Embed Images=true" the message carries its images; without, it refers to the files.
TEST_F(Command, EmbedImagesCarriesEachImageOnceAsAPart) {
    for (const bool embed : {true, false}) {
        LoadedPlugin plugin(embed ? "[Config]\r\nAuto Mode=true\r\nDocomo List=docomo.ne.jp\r\nEmbed Images=true\r\n" : DOCOMO_INI,
                            {"docomo\\F89F.gif"});
        Open(plugin, DocomoMail() + "\xF8\x9F\r\n");
        ASSERT_EQ(TheMailHost().SetSourceCalls(), 1) << embed;
        const std::string& result = TheMailHost().CurrentSource();
        const std::string cid = "cid:docomo.F89F.gif@pictograph.glyphory.invalid";
        if (!embed) {
            EXPECT_NE(result.find(plugin.Tag("docomo", "F89F.gif")), std::string::npos);
            EXPECT_EQ(result.find(cid), std::string::npos);
            continue;
        }
        EXPECT_EQ(result.find("file://"), std::string::npos);
        EXPECT_NE(result.find("A<img src=\"" + cid + "\">B<BR><img src=\"" + cid + "\">"), std::string::npos);
        EXPECT_NE(result.find("Content-Type: multipart/related; boundary=\""), std::string::npos);
        const std::string part = "Content-Type: image/gif; name=\"F89F.gif\"\r\nContent-Transfer-Encoding: base64\r\n"
                                 "Content-ID: <docomo.F89F.gif@pictograph.glyphory.invalid>\r\n"
                                 "Content-Disposition: inline; filename=\"F89F.gif\"\r\n\r\nR0lGODlh\r\n";
        const size_t at = result.find(part);
        EXPECT_NE(at, std::string::npos) << result;
        EXPECT_EQ(result.find(part, at + 1), std::string::npos);  // two pictographs, one image
    }
}

TEST_F(Command, TheMarkerTrueExactlyKeepsAMessageAlone) {
    LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif"});
    plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0);
    Open(plugin, DocomoMail("CreateZaverGlyphory: true\r\n"));
    EXPECT_EQ(CommandState(), 1u);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
    for (const char* other : {"TRUE", "true2", "yes"}) {
        Open(plugin, DocomoMail(std::string("CreateZaverGlyphory: ") + other + "\r\n"));
        EXPECT_EQ(TheMailHost().SetSourceCalls(), 1) << other;
        EXPECT_NE(TheMailHost().CurrentSource().find("CreateZaverGlyphory: true\r\n"), std::string::npos);
    }
}

TEST_F(Command, SendersOfNoCarrierAndAutoModeOffChangeNothing) {
    {
        LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif"});
        plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0);
        Open(plugin, "From: someone@example.com\r\nContent-Type: text/plain\r\n\r\n\xF8\x9F\r\n");
        EXPECT_EQ(CommandState(), 1u);
        EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
        // Qualifying, but no text: nothing to hand back.
        Open(plugin, "From: a@docomo.ne.jp\r\nContent-Type: application/octet-stream\r\n\r\n\xF8\x9F\r\n");
        EXPECT_EQ(CommandState(), 0u);
        EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
    }
    LoadedPlugin plugin("[Config]\r\nAuto Mode=false\r\nDocomo List=docomo.ne.jp\r\n", {"docomo\\F89F.gif"});
    Open(plugin, DocomoMail());
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
}

TEST_F(Command, WithoutSettingsFileOnlyAuMailQualifiesAndNothingIsAutomatic) {
    LoadedPlugin plugin(nullptr, {"au\\F660.gif"});
    plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0);
    Open(plugin, "From: a@ezweb.ne.jp\r\nContent-Type: text/plain\r\n\r\n\x1B$B\x75\x41\x1B(B\r\n");
    EXPECT_EQ(CommandState(), 0u);
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 0);
    TheMailHost().Commands().back().command(0, 0);
    EXPECT_NE(TheMailHost().CurrentSource().find(plugin.Tag("au", "F660.gif")), std::string::npos);
    TheMailHost().SetCurrentMessage(DocomoMail());
    EXPECT_EQ(CommandState(), 1u);
}

TEST_F(Command, ASoftbankWildcardMakesEveryUnmarkedMessageQualify) {
    LoadedPlugin plugin("[Config]\r\nAuto Mode=true\r\nAU List=\r\nSoftbank List=*\r\n", {"softbank\\F941.gif"});
    plugin.Export<MenuInitProc>("BKC_OnMenuInit")(nullptr, menu, 0);
    Open(plugin, "From: anyone@example.com\r\nContent-Type: text/plain\r\n\r\nx\xF9\x41\r\n");
    EXPECT_EQ(TheMailHost().SetSourceCalls(), 1);
    EXPECT_NE(TheMailHost().CurrentSource().find(plugin.Tag("softbank", "F941.gif")), std::string::npos);
    TheMailHost().SetCurrentMessage("From: x@y\r\nContent-Type: text/plain\r\n\r\nno pictograph\r\n");
    EXPECT_EQ(CommandState(), 0u);
}

// What the client stores from mail as real senders write it.
TEST_F(Command, ATextDecodingToNulLeavesTheAttachmentAfterItWhole) {
    LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif"});
    const std::string header = "From: a@docomo.ne.jp\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n";
    const std::string body =
        "--m\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nc3VuIPifAGFmdGVy\r\n"  // "sun " F8 9F 00
        "--m\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n\r\n/9j/4AAQSkZJRgABAQ==\r\n--m--\r\n";
    Open(plugin, header + "\r\n" + body);
    ASSERT_EQ(TheMailHost().SetSourceCalls(), 1);
    EXPECT_EQ(TheMailHost().CurrentSource(), header + "CreateZaverGlyphory: true\r\n\r\n" + body);
}

TEST_F(Command, DecoratedAuMailShowsImagesInItsOwnHtmlPart) {
    LoadedPlugin plugin("[Config]\r\nAuto Mode=true\r\nAU List=ezweb.ne.jp\r\n", {"au\\F660.gif"});
    const std::string html = "Content-Type: text/html; charset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    Open(plugin, "From: a@ezweb.ne.jp\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
                 "--a\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\nsun\r\n"
                 "--a\r\n" + html + "<BLINK>=1B=24BuA=1B(B</BLINK>\r\n--a--\r\n");
    ASSERT_EQ(TheMailHost().SetSourceCalls(), 1);
    const std::string& result = TheMailHost().CurrentSource();
    // The text part has no pictograph and stays; the HTML part gets the image, in quoted-printable.
    EXPECT_NE(result.find("--a\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\nsun\r\n--a\r\n"), std::string::npos);
    const size_t at = result.find(html);
    ASSERT_NE(at, std::string::npos) << result;
    const std::string encoded = result.substr(at + html.size(), result.find("\r\n--a--", at) + 2 - at - html.size());
    // The escape sequence that opened the pictograph's segment goes with it; the one after stays.
    EXPECT_EQ(DecodeQuotedPrintable(encoded), "<BLINK>" + plugin.Tag("au", "F660.gif") + "\x1B(B</BLINK>\r\n") << encoded;
}

TEST_F(Command, HeadersWrittenWithoutBlankOrInOtherCaseAreRead) {
    LoadedPlugin plugin(DOCOMO_INI, {"docomo\\F89F.gif"});
    Open(plugin, "From: a@docomo.ne.jp\r\ncontent-type:TEXT/PLAIN;charset=SHIFT_JIS\r\n\r\nA\xF8\x9F\r\n");
    ASSERT_EQ(TheMailHost().SetSourceCalls(), 1);
    EXPECT_NE(TheMailHost().CurrentSource().find(plugin.Tag("docomo", "F89F.gif")), std::string::npos);
    EXPECT_NE(TheMailHost().CurrentSource().find("Content-Type: text/plain; charset=\"SHIFT_JIS\""), std::string::npos);
}

// Smartphone mail in UTF-8: the carrier's own code, Google's, a standard emoji; the Subject as
// the client hands it over (encoded words decoded to their UTF-8 bytes). The part names the
// plug-in's folder in UTF-8, percent-encoded, whatever the client's code page makes of it.
TEST_F(Command, Utf8MailOfSoftbankAndDocomoIsConvertedWhole) {
    const struct {
        const char* ini;
        std::vector<std::string> images;
        std::string from, body, subject;  // subject: as the header carries it
        std::string folder, url;          // the plug-in folder's name, and as the tags' URLs give it
    } cases[] = {
        {"[Config]\r\nAuto Mode=true\r\nSoftbank List=i.softbank.jp\r\n", {"softbank\\F97C.gif", "softbank\\F7BC.gif"},
         "taro@i.softbank.jp", "\xE6\x9C\xAC\xE6\x96\x87\xEE\x88\x9C\r\n",  // U+E21C
         "=?UTF-8?B?6aGM5ZCN7oC8?=", "glyphory plug-ins", "/glyphory%20plug-ins%20"},  // U+E03C
        {"[Config]\r\nAuto Mode=true\r\nDocomo List=docomo.ne.jp\r\n", {"docomo\\F89F.gif", "docomo\\F8A1.gif"},
         "hanako@docomo.ne.jp", "\xF3\xBE\x80\x82&\xE2\x98\x80\xEF\xB8\x8F\r\n",  // U+FE002, U+2600 U+FE0F
         "x", Cp932("絵文字"), "/%E7%B5%B5%E6%96%87%E5%AD%97%20"},
    };
    for (const auto& c : cases) {
        LoadedPlugin plugin(c.ini, c.images, c.folder);
        const std::string header = "From: " + c.from + "\r\nSubject: " + c.subject + "\r\n";
        Open(plugin, header + "Content-Type: text/plain; charset=UTF-8\r\n\r\n" + c.body);
        ASSERT_EQ(TheMailHost().SetSourceCalls(), 1) << c.from;
        const std::string result = TheMailHost().CurrentSource();
        const std::string boundary = result.substr(result.find("boundary=\"") + 10, 64);
        const bool softbank = c.from.find("softbank") != std::string::npos;
        const std::string html =
            softbank ? "Subject:\xE9\xA1\x8C\xE5\x90\x8D" + plugin.Utf8Tag("softbank", "F97C.gif") +
                           "<BR>----------------------------------------<BR>\xE6\x9C\xAC\xE6\x96\x87" +
                           plugin.Utf8Tag("softbank", "F7BC.gif") + "<BR>"
                     : plugin.Utf8Tag("docomo", "F8A1.gif") + "&amp;" + plugin.Utf8Tag("docomo", "F89F.gif") + "<BR>";
        EXPECT_EQ(result,
                  header + "CreateZaverGlyphory: true\r\nContent-Type: multipart/alternative; boundary=\"" + boundary +
                      "\"\r\n\r\n--" + boundary + "\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n"
                      "Content-Transfer-Encoding: 8bit\r\n\r\n" + c.body + "\r\n\r\n--" + boundary +
                      "\r\nContent-Type: text/html; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                      "<HTML>\r\n<BODY>\r\n<FONT  face=\"\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF\" "
                      "size=\"2\">" + html + "\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n--" + boundary + "--\r\n");
        EXPECT_TRUE(IsValidUtf8(result));
        EXPECT_NE(html.find(c.url + std::to_string(GetCurrentProcessId()) + "/Glyphory/"), std::string::npos) << html;
    }
}

}  // namespace
