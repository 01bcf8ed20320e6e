// A font the holder owns and deletes. A font obtained from a window (WM_GETFONT) is only
// borrowed and is never put in one.
#pragma once

#include <windows.h>

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    BOOL CreateFontIndirect(const LOGFONTA* description) {
        DeleteObject();
        m_hObject = ::CreateFontIndirectA(description);
        return m_hObject != nullptr;
    }
    void DeleteObject() {
        if (m_hObject) ::DeleteObject(m_hObject);
        m_hObject = nullptr;
    }
    operator HFONT() const { return m_hObject; }

private:
    HFONT m_hObject = nullptr;
};
