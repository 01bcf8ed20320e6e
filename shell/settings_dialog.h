// The settings dialog: automatic conversion on or off, and the project's links.
#pragma once

#include <windows.h>

#include "settings/plugin_settings.h"
#include "shell/framework/dialog.h"
#include "shell/framework/font.h"
#include "shell/framework/static_control.h"

// A static that paints its text as a link: blue, underlined, on the button-face colour.
class CLinkLabel : public CStatic {
public:
    CFont m_font;  // the underlined font, deleted with the label

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPaint();
};

class CSettingsDialog : public CDialog {
public:
    CSettingsDialog();
    ~CSettingsDialog() override = default;

    int m_nRadio = -1;  // 0 automatic (1000), 1 menu only (1001), -1 none
    CPluginSettings* m_pSettings = nullptr;
    CLinkLabel m_mailLink;
    CLinkLabel m_webLink;
    HCURSOR m_hHandCursor;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
