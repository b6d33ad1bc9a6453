#include "WinApp.h"

#include <cstring>

namespace {
CWinApp* g_pApp = nullptr;
HINSTANCE g_hResource = nullptr;
}  // namespace

CWinApp::CWinApp(const char* pszAppName) : m_pszAppName(pszAppName)
{
    m_hInstance = GetModuleHandleA(nullptr);
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
