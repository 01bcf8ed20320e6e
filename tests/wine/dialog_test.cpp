// The settings dialog, opened by the host's plug-in setup and driven from a second thread as
// a user would: radio buttons, OK, Cancel, the cursor over the links.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/wine/loaded_plugin.h"

namespace {

using SetupProc = int32_t(WINAPI*)(HWND);

HWND WaitForDialog() {
    const std::string caption = Cp932("携帯用絵文字表示プラグイン設定");
    for (int i = 0; i < 200; ++i) {
        if (const HWND dialog = FindWindowA(nullptr, caption.c_str())) return dialog;
        Sleep(50);
    }
    return nullptr;
}

// What the driving thread saw of the open dialog.
struct Seen {
    bool found = false;
    bool autoChecked = false;
    bool menuChecked = false;
    bool handOverMail = false;
    bool handOverWeb = false;
    bool handOverOther = false;
};

bool HandCursorOver(HWND dialog, HWND window) {
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // the arrow
    SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor() == LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
}

// Saves the dialog as it stands on the screen, as a 24-bit BMP.
void SaveScreenshot(HWND dialog, const char* path) {
    RECT r;
    GetWindowRect(dialog, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride * static_cast<DWORD>(h)));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// Opens the dialog through BKC_OnPlugInSetup; act runs on a second thread against it and
// closes it with OK or Cancel.
template <typename Act>
Seen RunDialog(const LoadedPlugin& plugin, int32_t& result, Act act) {
    Seen seen;
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        const HWND dialog = WaitForDialog();
        if (!dialog) return;
        seen.found = true;
        AttachThreadInput(GetCurrentThreadId(), uiThread, TRUE);  // share the cursor
        seen.autoChecked = IsDlgButtonChecked(dialog, 1000) == BST_CHECKED;
        seen.menuChecked = IsDlgButtonChecked(dialog, 1001) == BST_CHECKED;
        seen.handOverMail = HandCursorOver(dialog, GetDlgItem(dialog, 1015));
        seen.handOverWeb = HandCursorOver(dialog, GetDlgItem(dialog, 1016));
        seen.handOverOther = HandCursorOver(dialog, GetDlgItem(dialog, 1000));
        if (const char* path = std::getenv("GLYPHORY_DIALOG_SCREENSHOT")) {
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            Sleep(500);
            SaveScreenshot(dialog, path);
        }
        act(dialog);
    });
    result = plugin.Export<SetupProc>("BKC_OnPlugInSetup")(nullptr);
    driver.join();
    return seen;
}

void Press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

const char LISTS[] = "[Config]\r\nAU List=ezweb.ne.jp\r\nDocomo List=docomo.ne.jp\r\nSoftbank List=softbank.ne.jp\r\n";

TEST(SettingsDialog, OpensWithTheModeCheckedAndOkWritesTheChoice) {
    LoadedPlugin plugin((std::string(LISTS) + "Auto Mode=true\r\n").c_str(), {});
    int32_t result = 0;
    const Seen seen = RunDialog(plugin, result, [](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1001), BM_CLICK, 0, 0);
        Press(dialog, IDOK);
    });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(seen.autoChecked);
    EXPECT_FALSE(seen.menuChecked);
    EXPECT_TRUE(seen.handOverMail);
    EXPECT_TRUE(seen.handOverWeb);
    EXPECT_FALSE(seen.handOverOther);
    EXPECT_EQ(ReadWholeFile(plugin.IniPath()), std::string(LISTS) + "Auto Mode=false\r\n");

    // Reopened: the flag is off now, so 1001 is checked.
    const Seen again = RunDialog(plugin, result, [](HWND dialog) { Press(dialog, IDCANCEL); });
    EXPECT_FALSE(again.autoChecked);
    EXPECT_TRUE(again.menuChecked);
}

TEST(SettingsDialog, OkCreatesTheFileAndCancelChangesNothing) {
    LoadedPlugin plugin(nullptr, {});
    int32_t result = 0;
    Seen seen = RunDialog(plugin, result, [](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
        Press(dialog, IDCANCEL);
    });
    EXPECT_TRUE(seen.menuChecked);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(GetFileAttributesA(plugin.IniPath().c_str()), INVALID_FILE_ATTRIBUTES);

    seen = RunDialog(plugin, result, [](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
        Press(dialog, IDOK);
    });
    EXPECT_TRUE(seen.menuChecked);  // the cancelled choice was not kept
    EXPECT_EQ(ReadWholeFile(plugin.IniPath()), "[Config]\r\nAuto Mode=true\r\n");
}

}  // namespace
