#include "shell/framework/static_control.h"

namespace {
constexpr char OBJECT_PROPERTY[] = "GlyphoryCStatic";
}

CStatic::~CStatic() { Unsubclass(); }

BOOL CStatic::SubclassDlgItem(UINT id, HWND dialog) {
    const HWND control = GetDlgItem(dialog, static_cast<int>(id));
    if (!control || m_hWnd) return FALSE;
    m_hWnd = control;
    SetPropA(control, OBJECT_PROPERTY, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CStatic::SubclassProc)));
    return TRUE;
}

void CStatic::Unsubclass() {
    if (!m_hWnd) return;
    SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    RemovePropA(m_hWnd, OBJECT_PROPERTY);
    m_hWnd = nullptr;
}

LRESULT CStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

LRESULT CStatic::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CStatic::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CStatic*>(GetPropA(window, OBJECT_PROPERTY));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const WNDPROC super = self->m_pfnSuper;
        self->Unsubclass();
        return CallWindowProcA(super, window, message, wParam, lParam);
    }
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        return self->Default(message, wParam, lParam);
    }
}
