// Folder selection with the system folder browser, keeping a fixed sub-folder appended to the selection,
// and the path rules it shares with the folder tree dialog.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

// State of one browse. The path rules operate on m_strPath, m_strSubFolder, m_pidlRoot and m_strRootParent.
class CQuFolderBrowser {
public:
    // pszTitle: text, string resource id below 0x10000, or null for none.
    CQuFolderBrowser(bool bCreate, const char* pszTitle);
    ~CQuFolderBrowser();
    CQuFolderBrowser(const CQuFolderBrowser&) = delete;
    CQuFolderBrowser& operator=(const CQuFolderBrowser&) = delete;

    std::string m_strPath;
    std::string m_strSubFolder;
    std::string m_strTitle;
    LPITEMIDLIST m_pidlRoot = nullptr;  // owned, freed with CoTaskMemFree
    std::string m_strRootParent;
    bool m_bComInit = false;
    bool m_bInitSeen = false;
    bool m_bValidated = false;
    bool m_bCreate = false;
    HWND m_hwndEdit = nullptr;

    // The browser's root: a CSIDL_ value, 0 for none. False when the special folder is unknown (no root then).
    bool SetRoot(int nCsidl);
    // Runs the system browser from pszFolder with the sub-folder; true with the result in m_strPath.
    bool Browse(const char* pszFolder, const char* pszSubFolder);
    static int CALLBACK BrowseCallbackProc(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

    // Path rules.
    // The path of the root folder's parent; null without a root, for a root outside the file system or a
    // drive root.
    const char* GetRootParent();
    // Number of components of tail that end m_strPath when m_strPath has more components; else 0.
    int CountTailComponents(const char* tail) const;
    // Appends the sub-folder unless m_strPath ends with it (or with its first components), then makes the
    // path relative to the root's parent when there is one.
    void AppendSubFolder();
    std::string StripSubFolder() const;
    std::string MakeRootRelative();
    void SetInitialPath(const char* pszPath, const char* pszSubFolder);

    // A typed folder as a qualified absolute path in result, created with its parents when bCreate; a refusal
    // is reported to the user (ReportSystemError) and gives false.
    static bool QualifyTypedPath(const char* pszText, const char* pszBase, bool bCreate, std::string& result);
    // The same without the report: 0, or the refusal's code (206, 161 or the system's last error).
    static DWORD CheckTypedPath(const char* pszText, const char* pszBase, bool bCreate, std::string& result);

private:
    int OnBrowseMessage(HWND hwnd, UINT uMsg, LPARAM lParam);
    void OnInitialized(HWND hwnd);
    void OnSelChanged(HWND hwnd, LPCITEMIDLIST pidl);
    void ShowPathInEdit();
};

// The folder tree dialog's variant of the typed-path check: no length test of its own, a backslash after any
// final ":", and with a base an empty text is the base itself. 0 or the refusal's code; nothing is reported.
DWORD CheckTypedTreePath(const char* pszText, const char* pszBase, std::string& result);

// Each character valid in a path: PathGetCharTypeA gives a type without GCT_WILD (no wildcards, control
// characters or characters forbidden in names).
bool IsValidPathText(const char* text);

// Runs the system folder browser. Returns the chosen path (sub-folder included) or an empty string when the
// user cancelled or the choice failed. On success strFolder receives the path without the sub-folder and
// pstrRelative, if given, the path relative to the root's parent. nRootCsidl 0: no root.
std::string BrowseForFolder(bool bCreate, std::string& strFolder, const char* pszSubFolder, const char* pszTitle,
                            int nRootCsidl, std::string* pstrRelative);
