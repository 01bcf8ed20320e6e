// Converts one message file through a plug-in as the mail client would on its menu command:
// loads the module, starts it, lets it add its command, opens the message and runs the command.
//   host_convert PLUGIN.dll MESSAGE OUT
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "host/mail_host.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PLUGIN.dll MESSAGE OUT\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    TheMailHost().SetCurrentMessage(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    const HMODULE plugin = LoadLibraryA(argv[1]);
    if (!plugin) {
        std::fprintf(stderr, "%s does not load\n", argv[1]);
        return 1;
    }
    const auto start = reinterpret_cast<int32_t(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(plugin, "BKC_OnStart")));
    const auto menuInit = reinterpret_cast<int32_t(WINAPI*)(HWND, HMENU, int32_t)>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "BKC_OnMenuInit")));
    start();
    const HMENU menu = CreateMenu();
    for (int i = 0; i < 5; ++i) AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), "menu");
    menuInit(nullptr, menu, 0);
    const RegisteredCommand& command = TheMailHost().Commands().back();
    const bool available = command.state(0, 0) == 0;
    command.command(0, 0);
    std::ofstream(argv[3], std::ios::binary) << TheMailHost().CurrentSource();
    std::printf("%s: %s, %s\n", argv[2], available ? "offered" : "not offered",
                TheMailHost().SetSourceCalls() ? "converted" : "unchanged");
    DestroyMenu(menu);
    FreeLibrary(plugin);
    return 0;
}
