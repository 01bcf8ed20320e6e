#include <windows.h>

#include <gtest/gtest.h>

#include "tests/wine/plugin.h"

HMODULE Plugin() {
    static const HMODULE plugin = LoadLibraryA("Glyphory.dll");
    return plugin;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!Plugin()) {
        std::fprintf(stderr, "Glyphory.dll did not load (error %lu)\n", GetLastError());
        return 1;
    }
    return RUN_ALL_TESTS();
}
