// What the wizard frame asks of each of its pages: data exchange (CDialog), texts in the current language
// and growth beyond the page's template size.
#pragma once

#include "Dialog.h"

#include <cstddef>

class IWizardContext;

// How one control follows a page that grew by dx, dy pixels.
enum : unsigned {
    PAGE_GROW_X = 1,  // wider by dx
    PAGE_GROW_Y = 2,  // taller by dy
    PAGE_MOVE_X = 4,  // moved right by dx
    PAGE_MOVE_Y = 8,  // moved down by dy
};
struct PAGE_LAYOUT {
    int nID;
    unsigned nFlags;
};

class CWizardPage : public CDialog {
public:
    CWizardPage(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

    // Sets every text of the page in the current language.
    virtual void RefreshTexts() = 0;
    // The page was made dx pixels wider and dy pixels taller than its template (both >= 0).
    virtual void LayoutControls(int dx, int dy);

protected:
    // The page's layout rows; none by default.
    virtual const PAGE_LAYOUT* GetPageLayout(size_t& count) const;
    // "Click on 'Next' to continue." style status line: text baseId formatted with the texts captionId and
    // secondCaptionId themselves (the buttons add their arrows; the status line names them without).
    void SetStatusText(int baseId, int captionId, int secondCaptionId = 0);
};

// A window's device context with the window's font selected, both given back when it goes.
class CFontDC {
public:
    explicit CFontDC(HWND hWnd, HFONT hFont) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd))
    {
        m_hOldFont = m_hDC ? ::SelectObject(m_hDC, hFont) : nullptr;
    }
    ~CFontDC()
    {
        if (!m_hDC)
            return;
        ::SelectObject(m_hDC, m_hOldFont);
        ::ReleaseDC(m_hWnd, m_hDC);
    }
    CFontDC(const CFontDC&) = delete;
    CFontDC& operator=(const CFontDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
    HGDIOBJ m_hOldFont = nullptr;
};

// Button captions as the frame shows them: Next with "  >", Back with "<  ", the others plain.
std::string GetButtonCaption(int textId);
