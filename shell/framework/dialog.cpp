#include "shell/framework/dialog.h"

#include "shell/framework/static_control.h"
#include "shell/framework/win_app.h"

void DDX_Control(CDataExchange* pDX, UINT id, CStatic& control) {
    if (!control.m_hWnd) control.SubclassDlgItem(id, pDX->m_hDlg);
}

void DDX_Radio(CDataExchange* pDX, UINT firstId, int& index) {
    HWND button = GetDlgItem(pDX->m_hDlg, static_cast<int>(firstId));
    if (pDX->m_bSaveAndValidate) index = -1;
    // The group runs from the first button to the next control that starts a group.
    for (int i = 0; button; ++i) {
        if (pDX->m_bSaveAndValidate) {
            if (SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED) index = i;
        } else {
            SendMessageA(button, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        button = GetWindow(button, GW_HWNDNEXT);
        if (button && (GetWindowLongA(button, GWL_STYLE) & WS_GROUP)) break;
    }
}

INT_PTR CDialog::DoModal() {
    return DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), m_hWndParent,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(m_hWnd, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(m_hWnd, IDOK);
}

// This dialog travels in the LPARAM of WM_INITDIALOG and stays in DWLP_USER until the
// window goes. No exception leaves the procedure.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CDialog*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->m_hWnd = window;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
        if (!self) return FALSE;
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            return FALSE;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
            self->OnOK();
            return TRUE;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
            self->OnCancel();
            return TRUE;
        }
        LRESULT result = 0;
        if (!self->OnMessage(message, wParam, lParam, result)) return FALSE;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}
