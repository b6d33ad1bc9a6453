#include "PlatformUtils.h"

#include "Handles.h"
#include "IntegerParse.h"
#include "WinApp.h"
#include "WinCompat.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// An item id list from the shell, freed with the shell allocator that made it.
class ItemIdList {
public:
    explicit ItemIdList(IMalloc* allocator) : m_allocator(allocator) {}
    ~ItemIdList()
    {
        if (m_pidl)
            m_allocator->Free(m_pidl);
    }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    PIDLIST_RELATIVE Get() const { return m_pidl; }
    PIDLIST_RELATIVE* Put() { return &m_pidl; }

private:
    IMalloc* m_allocator;
    PIDLIST_RELATIVE m_pidl = nullptr;
};

std::wstring ToWide(const char* text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

bool ParseShellPath(IShellFolder* desktop, const char* path, ItemIdList& pidl)
{
    std::wstring wide = ToWide(path);
    if (wide.empty())
        return false;
    return SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &wide[0], nullptr, pidl.Put(), nullptr)) &&
           pidl.Get();
}

// The whole text of a string resource (LoadStringA truncates to the buffer).
std::string LoadResourceString(HINSTANCE module, UINT id)
{
    std::vector<char> buffer(128);
    for (;;) {
        const int n = LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
        if (n <= 0)
            return std::string();
        if (static_cast<size_t>(n) + 1 < buffer.size() || buffer.size() >= 0x10000)
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

using IsAppThemedFn = BOOL(WINAPI*)();
using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);

bool g_visualStyleResolved = false;
IsAppThemedFn g_isAppThemed = nullptr;
DWORD g_commonControlsVersion = 0;
bool g_setWindowThemeResolved = false;
SetWindowThemeFn g_setWindowTheme = nullptr;

}  // namespace

HMODULE LoadSystemLibrary(const char* name)
{
    if (!name || !*name)
        return nullptr;
    char path[MAX_PATH];
    const char* file = name;
    if (PathIsRelativeA(name)) {
        const UINT n = GetSystemDirectoryA(path, MAX_PATH);
        if (n > 0 && n < MAX_PATH && PathAppendA(path, name))
            file = path;
    }
    if (HMODULE module = LoadLibraryA(file))
        return module;
    return file == name ? nullptr : LoadLibraryA(name);
}

DWORD GetDllVersion(const char* name)
{
    ModuleHandle loaded;
    HMODULE module = GetModuleHandleA(name);
    if (!module) {
        loaded.Reset(LoadSystemLibrary(name));
        module = loaded.Get();
    }
    if (!module)
        return 0;
    const auto dllGetVersion = GetProcAs<DLLGETVERSIONPROC>(module, "DllGetVersion");
    if (!dllGetVersion)
        return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    if (FAILED(dllGetVersion(&info)))
        return 0;
    return MAKELONG(info.dwMinorVersion & 0xFFFF, info.dwMajorVersion & 0xFFFF);
}

void ResetVisualStyleState()
{
    g_visualStyleResolved = false;
    g_isAppThemed = nullptr;
    g_commonControlsVersion = 0;
    g_setWindowThemeResolved = false;
    g_setWindowTheme = nullptr;
}

bool IsVisualStyleActive()
{
    // Only a uxtheme that something else already loaded counts: loading it here would not theme anything.
    HMODULE uxTheme = GetModuleHandleA("uxTheme");
    if (!uxTheme)
        return false;
    if (!g_visualStyleResolved) {
        g_visualStyleResolved = true;
        g_isAppThemed = GetProcAs<IsAppThemedFn>(uxTheme, "IsAppThemed");
        g_commonControlsVersion = GetDllVersion("Comctl32.dll");
    }
    if (!g_isAppThemed)
        return false;
    return g_isAppThemed() && g_commonControlsVersion >= 0x00060000;
}

bool ApplyWindowTheme(HWND hWnd, const wchar_t* subAppName, const wchar_t* subIdList)
{
    if (!IsVisualStyleActive())
        return false;
    if (!g_setWindowThemeResolved) {
        g_setWindowThemeResolved = true;
        g_setWindowTheme = GetProcAs<SetWindowThemeFn>(GetModuleHandleA("uxTheme"), "SetWindowTheme");
    }
    if (!g_setWindowTheme)
        return false;
    return g_setWindowTheme(hWnd, subAppName, subIdList) == S_OK;
}

bool IsWindowClass(HWND hWnd, const char* name)
{
    if (!name)
        return false;
    std::vector<char> className(std::strlen(name) + 1);
    if (GetClassNameA(hWnd, className.data(), static_cast<int>(className.size())) == 0)
        return false;
    return lstrcmpiA(className.data(), name) == 0;
}

DWORD FileLinkCount(const char* path)
{
    FileHandle file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file || !GetFileInformationByHandle(file.Get(), &information))
        return 0;
    return information.nNumberOfLinks;
}

bool IsSameShellItem(const char* a, const char* b)
{
    if (!a || !b)
        return false;
    if (std::strcmp(a, b) == 0)
        return true;
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Put())) || !allocator)
        return false;
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Put())) || !desktop)
        return false;
    ItemIdList first(allocator.Get()), second(allocator.Get());
    if (!ParseShellPath(desktop.Get(), a, first) || !ParseShellPath(desktop.Get(), b, second))
        return false;
    const HRESULT hr = desktop->CompareIDs(0, first.Get(), second.Get());
    return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0;
}

int32_t ParseInteger(const char* text, bool* pbError, int base)
{
    if (IS_INTRESOURCE(text)) {
        const std::string loaded =
            LoadResourceString(AfxGetResourceHandle(), static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)));
        return ParseIntegerText(loaded.c_str(), pbError, base);
    }
    return ParseIntegerText(text, pbError, base);
}
