// The loaded module as the mail client sees it: its export table, the events' calling
// convention and fixed results, its information record and its resources.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/wine/loaded_plugin.h"
#include "tests/wine/plugin.h"

namespace {

struct Event {
    const char* name;
    int argc;
    int32_t result;
};

// Every event but the setup dialog, which a later test drives with a window open.
const Event EVENTS[] = {
    {"BKC_OnStart", 0, 0},         {"BKC_OnExit", 0, 0},          {"BKC_OnEveryMinute", 0, 0},
    {"BKC_OnMenuInit", 3, 0},      {"BKC_OnOpenMail", 1, 0},      {"BKC_OnPlugInInfo", 1, 0},
    {"BKC_OnOpenFolder", 1, 0},    {"BKC_OnSend", 1, 0},          {"BKC_OnFinishRetrieve", 1, 0},
    {"BKC_OnOpenCompose", 2, 0},   {"BKC_OnOutgoing", 2, 0},      {"BKC_OnRetrieve", 2, 0},
    {"BKC_OnKeyDispatch", 3, 0},   {"BKC_OnBeforeFilter", 3, 0},  {"BKC_OnDragDrop", 4, 0},
};

std::vector<std::string> ExportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    return result;
}

// Calls fn with the first argc of args, as the host does, and reports how far the stack
// pointer moved across the call (0 when the callee removed exactly its arguments).
int32_t CallEvent(FARPROC fn, int argc, const intptr_t* args, intptr_t* stackMoved) {
#if defined(__i386__)
    int32_t result;
    intptr_t before, after;
    int count = argc;
    __asm__ volatile(
        "mov %%esp, %%esi\n\t"
        "1:\n\t"
        "test %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "dec %%ecx\n\t"
        "push (%%edx,%%ecx,4)\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "mov %%esp, %%edi\n\t"
        "mov %%esi, %%esp\n\t"
        : "=a"(result), "=S"(before), "=D"(after), "+c"(count)
        : "b"(fn), "d"(args)
        : "memory", "cc");
    *stackMoved = after - before;
    return result;
#else
    // One calling convention on 64-bit Windows: the caller cleans up, nothing to observe.
    *stackMoved = 0;
    const auto p = reinterpret_cast<void*>(fn);
    switch (argc) {
        case 0: return reinterpret_cast<int32_t(WINAPI*)()>(p)();
        case 1: return reinterpret_cast<int32_t(WINAPI*)(intptr_t)>(p)(args[0]);
        case 2: return reinterpret_cast<int32_t(WINAPI*)(intptr_t, intptr_t)>(p)(args[0], args[1]);
        case 3:
            return reinterpret_cast<int32_t(WINAPI*)(intptr_t, intptr_t, intptr_t)>(p)(args[0], args[1], args[2]);
        default:
            return reinterpret_cast<int32_t(WINAPI*)(intptr_t, intptr_t, intptr_t, intptr_t)>(p)(
                args[0], args[1], args[2], args[3]);
    }
#endif
}

TEST(Exports, AreExactlyTheSixteenEvents) {
    std::vector<std::string> names = ExportedNames(Plugin());
    std::vector<std::string> expected = {"BKC_OnPlugInSetup"};
    for (const Event& e : EVENTS) expected.push_back(e.name);
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(Exports, RemoveTheirArgumentsAndReturnTheirFixedResult) {
    char record[4 * 80];
    for (const Event& e : EVENTS) {
        // Menu kind 1 gets no command; the record pointer is the one argument that is read.
        intptr_t args[4] = {0x1234, 0x5678, 1, 0x9ABC};
        if (std::string(e.name) == "BKC_OnPlugInInfo") args[0] = reinterpret_cast<intptr_t>(record);
        const FARPROC fn = GetProcAddress(Plugin(), e.name);
        ASSERT_NE(fn, nullptr) << e.name;
        intptr_t moved = -1;
        EXPECT_EQ(CallEvent(fn, e.argc, args, &moved), e.result) << e.name;
        EXPECT_EQ(moved, 0) << e.name;
    }
}

TEST(Exports, SameCountSameActionShareOneBody) {
    const auto at = [](const char* name) { return GetProcAddress(Plugin(), name); };
    EXPECT_EQ(at("BKC_OnExit"), at("BKC_OnEveryMinute"));
    EXPECT_EQ(at("BKC_OnOpenFolder"), at("BKC_OnSend"));
    EXPECT_EQ(at("BKC_OnSend"), at("BKC_OnFinishRetrieve"));
    EXPECT_EQ(at("BKC_OnOpenCompose"), at("BKC_OnOutgoing"));
    EXPECT_EQ(at("BKC_OnOutgoing"), at("BKC_OnRetrieve"));
    EXPECT_EQ(at("BKC_OnKeyDispatch"), at("BKC_OnBeforeFilter"));
    EXPECT_NE(at("BKC_OnStart"), at("BKC_OnExit"));
}

TEST(InformationRecord, HoldsNameAuthorVersionDescriptionInCodePage932) {
    ASSERT_EQ(GetACP(), 932u) << "run the Wine tests in a Japanese locale (LANG=ja_JP.UTF-8)";
    struct {
        char name[80], author[80], version[80], description[80];
    } record;
    std::fill_n(reinterpret_cast<char*>(&record), sizeof record, '\xCC');
    using InfoProc = int32_t(WINAPI*)(void*);
    ASSERT_EQ(PluginExport<InfoProc>("BKC_OnPlugInInfo")(&record), 0);
    // The bytes of the texts in code page 932, written out independently of any converter.
    EXPECT_STREQ(record.name,
                 "\x8C\x67\x91\xD1\x97\x70\x8A\x47\x95\xB6\x8E\x9A\x95\x5C\x8E\xA6\x83\x76\x83\x89\x83\x4F\x83"
                 "\x43\x83\x93");
    EXPECT_STREQ(record.author, "Glyphory Project");
    EXPECT_STREQ(record.version, "Ver. 1.0");
    EXPECT_STREQ(record.description,
                 "Becky! \x82\xC9\x8C\x67\x91\xD1\x97\x70\x82\xCC\x8A\x47\x95\xB6\x8E\x9A\x82\xF0\x95\x5C\x8E\xA6"
                 "\x82\xB7\x82\xE9HTML\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x8D\xEC\x90\xAC\x8B\x40\x94\x5C"
                 "\x82\xF0\x92\xC7\x89\xC1\x82\xB5\x82\xDC\x82\xB7\x81\x42");
    EXPECT_EQ(record.description, Cp932("Becky! に携帯用の絵文字を表示するHTMLファイルの作成機能を追加します。"));
}

TEST(Resources, MenuTextIsStringFive) {
    char text[256];
    ASSERT_GT(LoadStringA(Plugin(), 5, text, sizeof text), 0);
    EXPECT_STREQ(text, "\x8C\x67\x91\xD1\x97\x70\x8A\x47\x95\xB6\x8E\x9A\x95\x5C\x8E\xA6HTML\x8D\xEC\x90\xAC");
}

TEST(Resources, VersionResourceNamesTheModule) {
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(Plugin(), path, MAX_PATH), 0u);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    const auto value = [&](const char* name) {
        char* text = nullptr;
        UINT n = 0;
        const std::string key = std::string("\\StringFileInfo\\041103a4\\") + name;
        return VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &n) ? std::string(text)
                                                                                              : std::string("?");
    };
    EXPECT_EQ(value("FileDescription"), "Glyphory DLL");
    EXPECT_EQ(value("InternalName"), "Glyphory");
    EXPECT_EQ(value("OriginalFilename"), "Glyphory.DLL");
    EXPECT_EQ(value("FileVersion"), "1, 1, 0, 0");
}

}  // namespace
