// A dialog whose template gets a sizing frame, with a size grip, the template's size as minimum, and controls
// moved and stretched by an anchor table when the client area changes size. The last size can be kept in the
// application's profile under "Settings\Dialog Size".
#pragma once

#include "QuDialog.h"
#include "ResizeLayout.h"

#include <string>

class CQuResizableDialog : public CQuDialog {
    DECLARE_DYNAMIC(CQuResizableDialog)
public:
    // Loads the template and adds WS_THICKFRAME to it (unless it is a child template); the dialog is then
    // created from the loaded template, not by name.
    CQuResizableDialog(UINT nIDTemplate, CWnd* pParentWnd);
    ~CQuResizableDialog() override;

    LPCSTR m_lpszSavedTemplate;
    bool m_bNoGrip = false;
    bool m_bFixedWidth = false;
    bool m_bFixedHeight = false;
    RECT m_rcInitial = {};  // window rectangle at initialisation (screen); its size is the minimum
    int m_cxLast = 0;       // client size the controls are laid out for; 0, 0 before initialisation
    int m_cyLast = 0;
    bool m_bMinimized = false;
    int m_nCarryX = RSZ_NO_CARRY;
    int m_nCarryY = RSZ_NO_CARRY;
    std::string m_strSizeKey;  // profile entry of the saved size; empty: neither saved nor restored

    // The anchor table, ending with the IDC_SIZEGRIP row.
    virtual const RESIZE_ENTRY* GetLayoutTable() const = 0;

protected:
    BOOL OnInitDialog() override;
    void PostNcDestroy() override;
    void OnGetMinMaxInfo(MINMAXINFO* pMMI);
    void OnSize(UINT nType, int cx, int cy);
    void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    void PatchTemplate();
    void CreateSizeGrip();
    void RestoreSize();
    void LayoutControls(int dx, int dy);
};

// Profile section of the saved dialog sizes.
constexpr const char* DIALOG_SIZE_SECTION = "Settings\\Dialog Size";
