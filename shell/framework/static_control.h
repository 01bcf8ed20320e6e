// A static control of a dialog that this object subclasses, so that its messages reach
// WindowProc first.
#pragma once

#include <windows.h>

class CStatic {
public:
    CStatic() = default;
    virtual ~CStatic();
    CStatic(const CStatic&) = delete;
    CStatic& operator=(const CStatic&) = delete;

    BOOL SubclassDlgItem(UINT id, HWND dialog);
    HWND m_hWnd = nullptr;

protected:
    // Messages the derived class does not handle go to the control's own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Unsubclass();
    WNDPROC m_pfnSuper = nullptr;
};
