// Loads a plug-in as the mail client does and says whether it loaded, and what its
// information record holds (converted from the ANSI code page to UTF-8).
//   host_probe VERSION|--null-version PLUGIN.dll
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/mail_host.h"

namespace {

struct BkPlugInInfo {
    char fields[4][80];
};

std::string ToUtf8(const char* ansi) {
    wchar_t wide[256];
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 256);
    char utf8[1024];
    WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s VERSION|--null-version PLUGIN.dll\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "--null-version") == 0)
        TheMailHost().ClearVersion();
    else
        TheMailHost().SetVersion(argv[1]);

    const HMODULE plugin = LoadLibraryA(argv[2]);
    if (!plugin) {
        std::printf("refused: %s does not load under host version %s\n", argv[2], argv[1]);
        return 1;
    }
    std::printf("loaded: %s under host version %s\n", argv[2], argv[1]);
    using InfoProc = int32_t(WINAPI*)(BkPlugInInfo*);
    const auto info = reinterpret_cast<InfoProc>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "BKC_OnPlugInInfo")));
    if (info) {
        BkPlugInInfo record = {};
        info(&record);
        const char* labels[] = {"name", "author", "version", "description"};
        for (int i = 0; i < 4; ++i) std::printf("  %-12s %s\n", labels[i], ToUtf8(record.fields[i]).c_str());
    }
    FreeLibrary(plugin);
    return 0;
}
