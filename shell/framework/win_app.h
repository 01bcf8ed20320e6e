// The application object of a plug-in DLL, in the manner of the Windows class framework: the
// one object of a CWinApp-derived class is made with the module's globals, and the module's
// attach runs its instance initialisation, its detach the exit step.
#pragma once

#include <windows.h>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The framework's own initialisation; it succeeds. A derived class calls it last.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;
};

// The module whose resources the dialogs and strings come from: the application's own.
HINSTANCE AfxGetResourceHandle();
