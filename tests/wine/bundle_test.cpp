// The unpacked release bundle, loaded where it lies, with its own settings file and images:
// a message from each carrier's phone comes back with that carrier's images.
#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "host/mail_host.h"

namespace {

using StartProc = int32_t(WINAPI*)();
using MenuInitProc = int32_t(WINAPI*)(HWND, HMENU, int32_t);

// The file an <img src="file://localhost/..."> tag of the text names, as a Windows path.
std::string ImagePath(const std::string& text, const std::string& carrier) {
    const std::string marker = "<img src=\"file://localhost/";
    const size_t start = text.find(marker);
    if (start == std::string::npos) return {};
    const size_t from = start + marker.size();
    std::string path = text.substr(from, text.find('"', from) - from);
    if (path.find("/Glyphory/" + carrier + "/") == std::string::npos) return {};
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

TEST(Bundle, ConvertsMailOfEachCarrierWithItsOwnImages) {
    const char* unpacked = std::getenv("GLYPHORY_BUNDLE");
    if (!unpacked) GTEST_SKIP() << "GLYPHORY_BUNDLE not set: no bundle was built";
    std::string folder = std::string("Z:") + unpacked + "\\";
    for (char& c : folder)
        if (c == '/') c = '\\';
    const HMODULE plugin = LoadLibraryA((folder + "Glyphory.dll").c_str());
    ASSERT_NE(plugin, nullptr) << folder;
    reinterpret_cast<StartProc>(reinterpret_cast<void*>(GetProcAddress(plugin, "BKC_OnStart")))();
    const HMENU menu = CreateMenu();
    for (int i = 0; i < 5; ++i) AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), "m");
    reinterpret_cast<MenuInitProc>(reinterpret_cast<void*>(GetProcAddress(plugin, "BKC_OnMenuInit")))(nullptr, menu, 0);
    const RegisteredCommand command = TheMailHost().Commands().back();

    const struct {
        const char* carrier;
        std::string message;
    } mails[] = {
        // AU sends ISO-2022-JP with its pictographs in JIS rows 0x75-0x7C (here F660, the sun).
        {"au", "From: taro@ezweb.ne.jp\r\nContent-Type: text/plain; charset=\"ISO-2022-JP\"\r\n\r\n\x1B$B\x75\x41\x1B(B\r\n"},
        {"docomo", "From: hanako@docomo.ne.jp\r\nContent-Type: text/plain; charset=\"Shift_JIS\"\r\n\r\n\xF8\x9F\r\n"},
        {"softbank", "From: jiro@softbank.ne.jp\r\nContent-Type: text/plain; charset=\"Shift_JIS\"\r\n\r\n\xF9\x8B\r\n"},
    };
    for (const auto& mail : mails) {
        TheMailHost().SetCurrentMessage(mail.message);
        EXPECT_EQ(command.state(0, 0), 0u) << mail.carrier;
        command.command(0, 0);
        ASSERT_EQ(TheMailHost().SetSourceCalls(), 1) << mail.carrier;
        const std::string image = ImagePath(TheMailHost().CurrentSource(), mail.carrier);
        ASSERT_FALSE(image.empty()) << mail.carrier << "\n" << TheMailHost().CurrentSource();
        EXPECT_NE(GetFileAttributesA(image.c_str()), INVALID_FILE_ATTRIBUTES) << image;
        EXPECT_EQ(image.rfind(folder, 0), 0u) << image;
    }
    DestroyMenu(menu);
    FreeLibrary(plugin);
}

}  // namespace
