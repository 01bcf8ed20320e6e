// A modal dialog from a template in the module's resources, in the manner of the Windows
// class framework: DoModal runs it over DialogBoxParam, OnInitDialog and OnOK exchange data
// with the controls through DoDataExchange, and OnMessage takes the other messages.
#pragma once

#include <windows.h>

class CStatic;

class CDataExchange {
public:
    CDataExchange(HWND dialog, BOOL saveAndValidate) : m_hDlg(dialog), m_bSaveAndValidate(saveAndValidate) {}
    HWND m_hDlg;
    BOOL m_bSaveAndValidate;  // TRUE: controls to data
};

// Binds control id to the object, once.
void DDX_Control(CDataExchange* pDX, UINT id, CStatic& control);
// The radio group that starts at firstId: index of the checked button, -1 for none.
void DDX_Radio(CDataExchange* pDX, UINT firstId, int& index);

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr) : m_nIDTemplate(templateId), m_hWndParent(parent) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    HWND m_hWnd = nullptr;

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // Exchanges data into the controls; TRUE leaves the focus to the default choice.
    virtual BOOL OnInitDialog();
    // Exchanges data out of the controls and, when that succeeds, closes with IDOK.
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(m_hWnd, IDCANCEL); }
    // Any other message; TRUE when handled, with its result in result.
    virtual BOOL OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT m_nIDTemplate;
    HWND m_hWndParent;
};
