#include "shell/settings_dialog.h"

#include <shellapi.h>

#include "resources/resource.h"

namespace {

constexpr char MAIL_ADDRESS[] = "mailto:g@example.org";
constexpr char WEB_ADDRESS[] = "https://example.org/glyphory/";

// The dialog's font with its underline set, for a label to own.
void GiveUnderlinedFont(HWND dialog, CLinkLabel& label) {
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA description = {};
    GetObjectA(dialogFont, sizeof description, &description);
    description.lfUnderline = TRUE;
    label.m_font.CreateFontIndirect(&description);
    SendMessageA(label.m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(label.m_font)), FALSE);
}

}  // namespace

LRESULT CLinkLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return Default(message, wParam, lParam);
    OnPaint();
    return 0;
}

void CLinkLabel::OnPaint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(m_hWnd, &paint);
    char text[256] = {};
    const int len = GetWindowTextA(m_hWnd, text, sizeof text);
    const HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(m_font));
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 255));
    const COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    const int oldMode = SetBkMode(dc, OPAQUE);
    TextOutA(dc, 0, 0, text, len);
    SetBkMode(dc, oldMode);
    SetBkColor(dc, oldBack);
    SetTextColor(dc, oldText);
    SelectObject(dc, oldFont);
    EndPaint(m_hWnd, &paint);
}

CSettingsDialog::CSettingsDialog()
    : CDialog(IDD_SETTINGS), m_hHandCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649))) {}

void CSettingsDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_MAIL_LINK, m_mailLink);
    DDX_Control(pDX, IDC_WEB_LINK, m_webLink);
    DDX_Radio(pDX, IDC_AUTO_MODE, m_nRadio);
}

BOOL CSettingsDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    GiveUnderlinedFont(m_hWnd, m_mailLink);
    GiveUnderlinedFont(m_hWnd, m_webLink);
    m_nRadio = m_pSettings->m_bAutoMode ? 0 : 1;
    UpdateData(FALSE);
    return TRUE;
}

void CSettingsDialog::OnOK() {
    UpdateData(TRUE);
    m_pSettings->m_bAutoMode = m_nRadio == 0;
    m_pSettings->Save();
    CDialog::OnOK();
}

BOOL CSettingsDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_SETCURSOR) {
        const auto window = reinterpret_cast<HWND>(wParam);
        if (window != m_mailLink.m_hWnd && window != m_webLink.m_hWnd) return FALSE;
        SetCursor(m_hHandCursor);
        result = TRUE;
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED &&
        (LOWORD(wParam) == IDC_MAIL_LINK || LOWORD(wParam) == IDC_WEB_LINK)) {
        ShellExecuteA(m_hWnd, nullptr, LOWORD(wParam) == IDC_MAIL_LINK ? MAIL_ADDRESS : WEB_ADDRESS, nullptr, nullptr,
                      SW_SHOWNORMAL);
        return TRUE;
    }
    return FALSE;
}

void CPluginSettings::ShowSetupDialog() {
    CSettingsDialog dialog;
    dialog.m_pSettings = this;
    dialog.DoModal();
}
