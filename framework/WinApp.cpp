#include "WinApp.h"

#include <cstring>

namespace {
CWinApp* g_pApp = nullptr;
HINSTANCE g_hResource = nullptr;
}  // namespace

namespace {

// The program file's name without folder and extension.
std::string ProgramBaseName()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, n < MAX_PATH ? n : 0);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

}  // namespace

CWinApp::CWinApp(const char* pszAppName) : m_pszAppName(pszAppName)
{
    m_hInstance = GetModuleHandleA(nullptr);
    m_strProfileName = ProgramBaseName();
    if (!pszAppName)
        SetAppName(m_strProfileName.c_str());
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
    delete[] m_pszOwnedName;
}

void CWinApp::SetAppName(const char* pszAppName)
{
    char* copy = nullptr;
    if (pszAppName) {
        copy = new char[std::strlen(pszAppName) + 1];
        std::strcpy(copy, pszAppName);
    }
    delete[] m_pszOwnedName;
    m_pszOwnedName = copy;
    m_pszAppName = copy;
}

void CWinApp::SetRegistryKey(const char* pszCompany) { m_strRegistryKey = pszCompany ? pszCompany : ""; }

UINT CWinApp::GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault) const
{
    if (m_strRegistryKey.empty()) {
        const std::string file = m_strProfileName + ".ini";
        return GetPrivateProfileIntA(pszSection, pszEntry, nDefault, file.c_str());
    }
    const std::string key = "Software\\" + m_strRegistryKey + "\\" + m_strProfileName + "\\" + pszSection;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return static_cast<UINT>(nDefault);
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG result = RegQueryValueExA(hKey, pszEntry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return static_cast<UINT>(nDefault);
    return value;
}

bool CWinApp::WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue) const
{
    if (m_strRegistryKey.empty()) {
        const std::string file = m_strProfileName + ".ini";
        const std::string text = std::to_string(nValue);
        return WritePrivateProfileStringA(pszSection, pszEntry, text.c_str(), file.c_str()) != FALSE;
    }
    const std::string key = "Software\\" + m_strRegistryKey + "\\" + m_strProfileName + "\\" + pszSection;
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD value = static_cast<DWORD>(nValue);
    const LONG result =
        RegSetValueExA(hKey, pszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(hKey);
    return result == ERROR_SUCCESS;
}

void CWinApp::DoWaitCursor(int nCode)
{
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    if (nCode > 0) {
        if (m_nWaitCursorCount++ == 0)
            m_hcurWaitRestore = SetCursor(wait);
        else
            SetCursor(wait);
    } else if (nCode < 0) {
        if (m_nWaitCursorCount > 0 && --m_nWaitCursorCount == 0) {
            SetCursor(m_hcurWaitRestore ? m_hcurWaitRestore : LoadCursorA(nullptr, IDC_ARROW));
            m_hcurWaitRestore = nullptr;
        }
    } else if (m_nWaitCursorCount > 0) {
        SetCursor(wait);
    }
}

CWaitCursor::CWaitCursor()
{
    if (CWinApp* app = AfxGetApp())
        app->DoWaitCursor(1);
    else
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

CWaitCursor::~CWaitCursor()
{
    if (CWinApp* app = AfxGetApp())
        app->DoWaitCursor(-1);
    else
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

void CWaitCursor::Restore()
{
    if (CWinApp* app = AfxGetApp())
        app->DoWaitCursor(0);
    else
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

bool CWinApp::PreTranslateMessage(MSG*) { return false; }

bool CWinApp::OnIdle(long) { return false; }

void CWinApp::EnableModeless(bool) {}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        long idle = 0;
        while (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnIdle(idle++)) {
        }
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (!PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() { return g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr); }

HINSTANCE AfxGetResourceHandle() { return g_hResource ? g_hResource : AfxGetInstanceHandle(); }

void AfxSetResourceHandle(HINSTANCE hResource) { g_hResource = hResource; }

HWND AfxGetSafeOwner(HWND hParent, HWND* phTop)
{
    HWND hWnd = hParent;
    if (!hWnd && g_pApp)
        hWnd = g_pApp->m_hMainWnd;
    if (!hWnd)
        hWnd = GetActiveWindow();
    // Climb to the top-level window.
    HWND hTop = hWnd;
    while (hTop && (GetWindowLongPtrA(hTop, GWL_STYLE) & WS_CHILD))
        hTop = GetParent(hTop);
    HWND hOwner = hTop ? GetLastActivePopup(hTop) : nullptr;
    if (phTop) {
        *phTop = nullptr;
        if (hTop && hTop != hOwner && IsWindowEnabled(hTop)) {
            EnableWindow(hTop, FALSE);
            *phTop = hTop;
        }
    }
    return hOwner;
}

int AfxWinMain(HINSTANCE hInstance)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
