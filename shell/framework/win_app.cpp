#include "shell/framework/win_app.h"

namespace {
// The module's one application object, registered by its constructor.
CWinApp* g_pApp = nullptr;
}  // namespace

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

HINSTANCE AfxGetResourceHandle() { return g_pApp ? g_pApp->m_hInstance : nullptr; }

// The C runtime has constructed the module's globals, the application object among them,
// before it calls this. A failed initialisation runs the exit step, shuts the framework down
// (so the detach that follows runs nothing more) and fails the attach: LoadLibrary fails.
// Nothing thrown may leave: an attach that throws fails the load, a detach ends quietly.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) try {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!g_pApp) return FALSE;
        g_pApp->m_hInstance = hInstance;
        if (!g_pApp->InitInstance()) {
            g_pApp->ExitInstance();
            g_pApp = nullptr;
            return FALSE;
        }
    } else if (reason == DLL_PROCESS_DETACH && g_pApp) {
        g_pApp->ExitInstance();
    }
    return TRUE;
} catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
