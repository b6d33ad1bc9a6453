// The application object: one per program, created before the program entry runs.
#pragma once

#include <windows.h>

#include <string>

class CWinApp {
public:
    // Without a name the application is named after the program file (its name without extension).
    explicit CWinApp(const char* pszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Caption of every message box; the object does not own the text, see SetAppName.
    const char* m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    HWND m_hMainWnd = nullptr;

    // Replaces the application name with a copy of the given text.
    void SetAppName(const char* pszAppName);

    // The profile: integers under HKEY_CURRENT_USER "Software\<company>\<profile name>\<section>" once
    // SetRegistryKey was called, else in the initialisation file "<profile name>.ini" of the Windows folder.
    // The profile name is the program file's name without extension.
    void SetRegistryKey(const char* pszCompany);
    // The stored value, or nDefault when the entry is missing or unreadable.
    UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault) const;
    bool WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue) const;

    // Wait cursor: +1 shows it (nested calls count), -1 ends one level, 0 shows it again after
    // something (a message box) replaced it.
    void DoWaitCursor(int nCode);
    bool IsWaitCursorShown() const { return m_nWaitCursorCount > 0; }

    // Start-up work. Returning false ends the program without a message loop.
    virtual bool InitInstance() { return false; }
    // Exit code of the program.
    virtual int ExitInstance() { return m_nExitCode; }
    // Returns true when the message was handled and must not be dispatched.
    virtual bool PreTranslateMessage(MSG* pMsg);
    // Idle work; returns true while more idle calls are wanted.
    virtual bool OnIdle(long lCount);
    // Modeless windows of the application are disabled while a message box is up.
    virtual void EnableModeless(bool bEnable);

    // The message loop, used when InitInstance returns true.
    virtual int Run();

protected:
    int m_nExitCode = 0;

private:
    char* m_pszOwnedName = nullptr;
    std::string m_strRegistryKey;
    std::string m_strProfileName;
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitRestore = nullptr;
};

// Shows the wait cursor for its lifetime.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    // Shows the wait cursor again, after a message box for example.
    void Restore();
};

// The one application object, or null when the program has none.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// Module whose resources the program uses (the program itself unless changed).
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hResource);

// Owner for a modal box: the last active pop-up of the top-level window of hParent (or of the main
// window / the active window). When phTop is given and that top-level window is enabled and is not the
// owner, it is disabled and returned there so the caller can enable it again.
HWND AfxGetSafeOwner(HWND hParent, HWND* phTop);

// Program entry of a GUI program: InitInstance, then the message loop or ExitInstance.
int AfxWinMain(HINSTANCE hInstance);
