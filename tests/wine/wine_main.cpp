#include <windows.h>

#include <gtest/gtest.h>

#include "tests/wine/plugin.h"

HMODULE Plugin() {
    static const HMODULE plugin = LoadLibraryA("Glyphory.dll");
    return plugin;
}

std::string Cp932(const char* utf8) {
    wchar_t wide[1024];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    char out[2048];
    WideCharToMultiByte(932, 0, wide, n, out, sizeof out, nullptr, nullptr);
    return out;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!Plugin()) {
        std::fprintf(stderr, "Glyphory.dll did not load (error %lu)\n", GetLastError());
        return 1;
    }
    return RUN_ALL_TESTS();
}
