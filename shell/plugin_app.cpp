#include "shell/plugin_app.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "shell/host_api.h"

HINSTANCE g_hPluginInstance = nullptr;
char g_szIniPath[MODULE_PATH_SIZE] = {};

// Made after the maps and the settings pointer, destroyed before them.
CPluginApp theApp;

BOOL CPluginApp::InitInstance() {
    if (!g_hostApi.Init()) return FALSE;
    g_hPluginInstance = m_hInstance;

    // Nothing may leave the module's attach: out of memory here fails the load instead.
    try {
        char modulePath[MODULE_PATH_SIZE];
        const DWORD len = GetModuleFileNameA(g_hPluginInstance, modulePath, MODULE_PATH_SIZE);
        // A path that filled the buffer was cut short: it names no file beside the module.
        const std::string iniPath =
            len > 0 && len < MODULE_PATH_SIZE ? MakeIniPath({modulePath, len}) : std::string();
        std::memcpy(g_szIniPath, iniPath.c_str(), std::min(iniPath.size() + 1, sizeof g_szIniPath));
        g_szIniPath[sizeof g_szIniPath - 1] = '\0';
        g_pSettings = std::make_unique<CPluginSettings>(g_szIniPath);
        g_pSettings->Load();
    } catch (...) {
        return FALSE;
    }

    return CWinApp::InitInstance();
}
