// The system's open and save dialogs (comdlg32) as a framework dialog object.
#pragma once

#include "Dialog.h"

#include <commdlg.h>

#include <string>

class CFileDialog : public CDialog {
    DECLARE_DYNAMIC(CFileDialog)
public:
    // lpszFilter: pairs of description and pattern separated by "|", e.g. "Text files|*.txt|All files|*.*|".
    explicit CFileDialog(bool bOpenFileDialog, const char* lpszDefExt = nullptr, const char* lpszFileName = nullptr,
                         DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* lpszFilter = nullptr,
                         CWnd* pParentWnd = nullptr);

    OPENFILENAMEA m_ofn = {};

    // IDOK with the chosen file in GetPathName, IDCANCEL otherwise.
    INT_PTR DoModal() override;
    std::string GetPathName() const { return m_szFileName; }

private:
    bool m_bOpenFileDialog;
    std::string m_strDefExt;
    std::string m_strFilter;  // "|" replaced by NUL
    char m_szFileName[MAX_PATH] = {};
};
