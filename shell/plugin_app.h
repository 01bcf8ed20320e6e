// Module-wide state of the plug-in, made at load and destroyed at unload.
#pragma once

#include <windows.h>


#include "settings/ini_path.h"
#include "settings/plugin_settings.h"
#include "shell/framework/win_app.h"

// The start-up of the plug-in, run from the module's attach.
class CPluginApp : public CWinApp {
public:
    BOOL InitInstance() override;
    ~CPluginApp() override = default;
};

extern HINSTANCE g_hPluginInstance;
extern char g_szIniPath[MODULE_PATH_SIZE];
