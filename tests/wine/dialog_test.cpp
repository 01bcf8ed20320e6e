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

// The dialog, once its WM_INITDIALOG has returned: a hook on the thread that runs it sees
// the message come back from the dialog procedure, so the radio state is set and the link
// labels are subclassed by then. Finding the window by its caption could come too early.
struct ReadySignal {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND dialog = nullptr;
};
ReadySignal* g_ready = nullptr;

LRESULT CALLBACK WatchInitDialog(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && g_ready && call->message == WM_INITDIALOG && !g_ready->dialog) {
        g_ready->dialog = call->hwnd;
        SetEvent(g_ready->event);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

constexpr DWORD READY_TIMEOUT_MS = 20000;

std::string WindowCaption(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
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
    ReadySignal ready;
    g_ready = &ready;
    const DWORD uiThread = GetCurrentThreadId();
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, &WatchInitDialog, nullptr, uiThread);
    EXPECT_NE(hook, nullptr) << "cannot watch the dialog's start";
    std::thread driver([&] {
        if (WaitForSingleObject(ready.event, READY_TIMEOUT_MS) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the settings dialog did not finish WM_INITDIALOG within " << READY_TIMEOUT_MS << " ms";
            // Whatever came up late must still close, or the test would hang in the modal loop.
            if (const HWND late = FindWindowA(nullptr, Cp932("携帯用絵文字表示プラグイン設定").c_str()))
                PostMessageA(late, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        const HWND dialog = ready.dialog;
        seen.found = WindowCaption(dialog) == Cp932("携帯用絵文字表示プラグイン設定");
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
    if (hook) UnhookWindowsHookEx(hook);
    g_ready = nullptr;
    CloseHandle(ready.event);
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
    ASSERT_TRUE(again.found);
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
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.menuChecked);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(GetFileAttributesA(plugin.IniPath().c_str()), INVALID_FILE_ATTRIBUTES);

    seen = RunDialog(plugin, result, [](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
        Press(dialog, IDOK);
    });
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.menuChecked);  // the cancelled choice was not kept
    EXPECT_EQ(ReadWholeFile(plugin.IniPath()), "[Config]\r\nAuto Mode=true\r\n");
}

}  // namespace
