// The plug-in events the mail client calls. Each takes 32-bit arguments, returns a 32-bit
// result and removes its own arguments (stdcall); the .def file gives the exported names.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "render/pictograph_map.h"
#include "base/sjis.h"
#include "resources/resource.h"
#include "shell/convert_command.h"
#include "shell/host_api.h"
#include "shell/plugin_app.h"

namespace {

// The record the host hands to BKC_OnPlugInInfo.
constexpr size_t INFO_FIELD_SIZE = 80;
struct BkPlugInInfo {
    char szPlugInName[INFO_FIELD_SIZE];
    char szAuthor[INFO_FIELD_SIZE];
    char szVersion[INFO_FIELD_SIZE];
    char szDescription[INFO_FIELD_SIZE];
};

// Loads string id into field: at most 79 bytes and the NUL, never half a two-byte character.
void LoadInfoField(UINT id, char (&field)[INFO_FIELD_SIZE]) {
    char text[256];
    const int len = LoadStringA(g_hPluginInstance, id, text, 255);
    size_t keep = 0;
    for (size_t i = 0; i < static_cast<size_t>(len > 0 ? len : 0);) {
        const size_t width = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < static_cast<size_t>(len) ? 2 : 1;
        if (i + width > INFO_FIELD_SIZE - 1) break;
        i += width;
        keep = i;
    }
    std::memcpy(field, text, keep);
    field[keep] = '\0';
}

}  // namespace

extern "C" {

// Scans the image folders beside the module: the module's path cut at its last '.', then
// "\\au\\", "\\softbank\\", "\\docomo\\".
int32_t WINAPI BKC_OnStart() {
    char path[MODULE_PATH_SIZE];
    const DWORD len = GetModuleFileNameA(g_hPluginInstance, path, MODULE_PATH_SIZE);
    if (len == 0 || len >= MODULE_PATH_SIZE) return 0;
    std::string_view module(path, len);
    try {
        const std::string base(module.substr(0, module.rfind('.')));
        const bool embedded = g_pSettings && g_pSettings->m_bEmbedImages;
        ScanPictographFolder(base + "\\au\\", "au", embedded, g_mapAU);
        ScanPictographFolder(base + "\\softbank\\", "softbank", embedded, g_mapSoftbank);
        ScanPictographFolder(base + "\\docomo\\", "docomo", embedded, g_mapDocomo);
    } catch (...) {
        // Out of memory: the images scanned so far serve; nothing reaches the host.
    }
    return 0;
}

// Adds the conversion command at the end of the fifth sub-menu of the main window's menu;
// every call registers it anew.
int32_t WINAPI BKC_OnMenuInit(HWND, HMENU menu, int32_t menuKind) {
    if (menuKind != 0) return 0;
    char text[1024] = {};
    LoadStringA(g_hPluginInstance, IDS_MENU_TEXT, text, sizeof text);
    const HMENU subMenu = GetSubMenu(menu, 4);
    const int32_t command = g_hostApi.BKA_RegisterCommand("Information about this Command", 0, ConvertCurrentMail);
    AppendMenuA(subMenu, 0, static_cast<UINT_PTR>(command), text);
    g_hostApi.BKA_RegisterUICallback(command, ConvertCommandState);
    return 0;
}

int32_t WINAPI BKC_OnOpenMail(LPCSTR) {
    if (g_pSettings && g_pSettings->m_bAutoMode && IsConvertible()) ConvertCurrentMail(0, 0);
    return 0;
}

int32_t WINAPI BKC_OnPlugInInfo(BkPlugInInfo* info) {
    LoadInfoField(IDS_PLUGIN_NAME, info->szPlugInName);
    LoadInfoField(IDS_AUTHOR, info->szAuthor);
    LoadInfoField(IDS_VERSION, info->szVersion);
    LoadInfoField(IDS_DESCRIPTION, info->szDescription);
    return 0;
}

int32_t WINAPI BKC_OnPlugInSetup(HWND) {
    if (g_pSettings) g_pSettings->ShowSetupDialog();
    return 1;
}

int32_t WINAPI IgnoreNoArguments() { return 0; }
int32_t WINAPI IgnoreOneArgument(intptr_t) { return 0; }
int32_t WINAPI IgnoreTwoArguments(intptr_t, intptr_t) { return 0; }
int32_t WINAPI IgnoreThreeArguments(intptr_t, intptr_t, intptr_t) { return 0; }
int32_t WINAPI IgnoreFourArguments(intptr_t, intptr_t, intptr_t, intptr_t) { return 0; }

}  // extern "C"
