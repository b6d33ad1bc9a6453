// Plankora.exe, the demo product's main program.
//
//   Plankora.exe /Register /Background   registers the ".plk" document type and exits with -10
//   Plankora.exe /Unregister              removes that registration again and exits with -10
//   Plankora.exe [document]              shows the main window while holding the product semaphore
#include <windows.h>
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLineArgs.h"
#include "PlankoraIds.h"

namespace {

const char kSemaphoreName[] = "Global\\Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
const char kWindowClass[] = "PlankoraMainWindow";
const char kWindowTitle[] = "Sarventa 5.23i";
const char kDocExtension[] = ".plk";
const char kDocProgId[] = "Plankora.Document";
const char kDocTypeName[] = "Sarventa Document";

// The installer counts this exit code of the registration run as success; the uninstaller counts it the
// same way for /Unregister. Any other code (1) is a failure.
const int kRegisterSucceeded = -10;
const int kRegisterFailed = 1;

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE h = nullptr) : m_h(h) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE Get() const { return m_h; }
    void Close()
    {
        if (m_h != nullptr) {
            ::CloseHandle(m_h);
            m_h = nullptr;
        }
    }

private:
    HANDLE m_h;
};

class UniqueKey {
public:
    UniqueKey() = default;
    ~UniqueKey()
    {
        if (m_h != nullptr)
            ::RegCloseKey(m_h);
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    HKEY* Receive() { return &m_h; }
    HKEY Get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

struct CommandLine {
    bool bRegister = false;
    bool bBackground = false;
    bool bUnregister = false;
    std::string strDocument;
};

CommandLine ParseCommandLine(const char* args)
{
    CommandLine cmd;
    for (const std::string& token : SplitArguments(args)) {
        if (lstrcmpiA(token.c_str(), "/Register") == 0)
            cmd.bRegister = true;
        else if (lstrcmpiA(token.c_str(), "/Unregister") == 0)
            cmd.bUnregister = true;
        else if (lstrcmpiA(token.c_str(), "/Background") == 0)
            cmd.bBackground = true;
        else if (!token.empty() && cmd.strDocument.empty())
            cmd.strDocument = token;
    }
    return cmd;
}

std::string GetOwnPath()
{
    char path[MAX_PATH + 1] = {};
    DWORD len = ::GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    if (len == 0 || len > MAX_PATH)  // a truncated path would register a wrong command
        return std::string();
    return std::string(path, len);
}

bool SetDefaultValue(HKEY root, const char* subKey, const std::string& value)
{
    UniqueKey key;
    LONG rc = ::RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                key.Receive(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    return true;
}

// Associates ".plk" documents with this program under HKEY_CLASSES_ROOT.
bool RegisterDocumentType()
{
    const std::string exe = GetOwnPath();
    if (exe.empty())
        return false;
    const std::string progId = kDocProgId;
    const bool ok = SetDefaultValue(HKEY_CLASSES_ROOT, kDocExtension, progId) &&
                    SetDefaultValue(HKEY_CLASSES_ROOT, progId.c_str(), kDocTypeName) &&
                    SetDefaultValue(HKEY_CLASSES_ROOT, (progId + "\\DefaultIcon").c_str(), exe + ",0") &&
                    SetDefaultValue(HKEY_CLASSES_ROOT, (progId + "\\shell\\open\\command").c_str(),
                                    "\"" + exe + "\" \"%1\"");
    if (ok)
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return ok;
}

// The default value of root\subKey; empty when the key or the value is missing or not a string.
std::string ReadDefaultValue(HKEY root, const char* subKey)
{
    char value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (::SHGetValueA(root, subKey, nullptr, &type, value, &size) != ERROR_SUCCESS || type != REG_SZ)
        return std::string();
    return value;
}

bool KeyIsEmpty(HKEY key)
{
    DWORD subKeys = 0;
    DWORD values = 0;
    return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

// Removes what RegisterDocumentType wrote. ".plk" goes only while it still names our ProgID, and only its
// default value when another program has added entries of its own to the key. Nothing to remove is success.
bool UnregisterDocumentType()
{
    bool ok = true;
    if (ReadDefaultValue(HKEY_CLASSES_ROOT, kDocExtension) == kDocProgId) {
        UniqueKey key;
        LONG rc = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, kDocExtension, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                  key.Receive());
        if (rc == ERROR_SUCCESS) {
            rc = ::RegDeleteValueA(key.Get(), nullptr);
            if (rc == ERROR_SUCCESS && KeyIsEmpty(key.Get()))
                rc = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kDocExtension);
        }
        ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const DWORD rc = ::SHDeleteKeyA(HKEY_CLASSES_ROOT, kDocProgId);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        ok = false;
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return ok;
}

struct WindowState {
    std::string strLine1;
    std::string strLine2;
};

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCCREATE: {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        const WindowState* state = reinterpret_cast<const WindowState*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (state != nullptr) {
            HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
            ::SetBkMode(dc, TRANSPARENT);
            RECT rc;
            ::GetClientRect(hwnd, &rc);
            rc.left += 16;
            rc.top += 16;
            ::DrawTextA(dc, state->strLine1.c_str(), -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
            rc.top += 24;
            ::DrawTextA(dc, state->strLine2.c_str(), -1, &rc,
                        DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
            ::SelectObject(dc, oldFont);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HANDLE CreateProductSemaphore()
{
    // Everyone: SYNCHRONIZE; the system and administrators: everything. This process's own handle has full
    // access whatever the list says.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)",
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return ::CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE semaphore = ::CreateSemaphoreA(&attributes, 1, 1, kSemaphoreName);
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return semaphore;
}

int RunMainWindow(HINSTANCE instance, int showCmd, const CommandLine& cmd)
{
    // The installer asks the user to close the product while this semaphore exists. Installers and
    // uninstallers of any user may wait on it (the default security would admit only this user).
    UniqueHandle semaphore(CreateProductSemaphore());
    if (semaphore.Get() != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        HWND other = ::FindWindowA(kWindowClass, nullptr);
        if (other != nullptr)
            ::SetForegroundWindow(other);
        return 0;
    }

    WindowState state;
    state.strLine1 = "Sarventa 5.23i by Quillon & Partners is running.";
    state.strLine2 = cmd.strDocument.empty() ? std::string("No document open.") : "Document: " + cmd.strDocument;

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_PLANKORA));
    wc.hIconSm = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_PLANKORA), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_DEFAULTCOLOR));
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    if (::RegisterClassExA(&wc) == 0)
        return 1;

    HWND hwnd = ::CreateWindowExA(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  420, 140, nullptr, nullptr, instance, &state);
    if (hwnd == nullptr)
        return 1;
    ::ShowWindow(hwnd, showCmd);
    ::UpdateWindow(hwnd);

    MSG msg;
    BOOL got;
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return 1;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR args, int showCmd)
{
    const CommandLine cmd = ParseCommandLine(args);
    if (cmd.bRegister)
        return RegisterDocumentType() ? kRegisterSucceeded : kRegisterFailed;
    if (cmd.bUnregister)
        return UnregisterDocumentType() ? kRegisterSucceeded : kRegisterFailed;
    if (cmd.bBackground)
        return 0;  // nothing to do without a window
    return RunMainWindow(instance, showCmd, cmd);
}
