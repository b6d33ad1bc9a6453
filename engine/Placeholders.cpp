#include "Placeholders.h"

#include "PlaceholderExpansion.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// How a placeholder finds its folder when its shell folder is not available.
enum class Fallback {
    None,
    Folder,        // a second shell folder
    RegistryDir,   // a value under ...\CurrentVersion, then a folder under the root of the Windows folder
    WindowsDir,    // the Windows folder
    SystemDir,     // GetSystemDirectoryA
};

struct PlaceholderRule {
    const char* token;
    int csidl;
    Fallback fallback;
    int fallbackCsidl;
    const char* registryValue;  // Fallback::RegistryDir
    const char* rootFolder;     // Fallback::RegistryDir, appended to the root of the Windows folder
};

const PlaceholderRule PLACEHOLDER_RULES[] = {
    {"<ProgramFiles>", CSIDL_PROGRAM_FILES, Fallback::RegistryDir, 0, "ProgramFilesDir", "Program Files"},
    {"<ProgramCommon>", CSIDL_PROGRAM_FILES_COMMON, Fallback::RegistryDir, 0, "CommonFilesDir",
     "Program Files\\Common Files"},
    {"<CommonData>", CSIDL_COMMON_APPDATA, Fallback::Folder, CSIDL_APPDATA, nullptr, nullptr},
    {"<UserData>", CSIDL_APPDATA, Fallback::None, 0, nullptr, nullptr},
    {"<CommonDocuments>", CSIDL_COMMON_DOCUMENTS, Fallback::Folder, CSIDL_PERSONAL, nullptr, nullptr},
    {"<Documents>", CSIDL_PERSONAL, Fallback::None, 0, nullptr, nullptr},
    {"<CommonDesktop>", CSIDL_COMMON_DESKTOPDIRECTORY, Fallback::Folder, CSIDL_DESKTOPDIRECTORY, nullptr, nullptr},
    {"<Desktop>", CSIDL_DESKTOPDIRECTORY, Fallback::None, 0, nullptr, nullptr},
    {"<WinDir>", CSIDL_WINDOWS, Fallback::WindowsDir, 0, nullptr, nullptr},
    {"<System>", CSIDL_SYSTEM, Fallback::SystemDir, 0, nullptr, nullptr},
};

const char CURRENT_VERSION_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion";

bool GetRegistryFolder(const char* valueName, std::string& out)
{
    char buffer[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof buffer - 1;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, valueName, &type, buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    out = buffer;
    return true;
}

// The root of the Windows folder ("C:\") with a folder appended.
bool GetWindowsRootFolder(const char* folder, std::string& out)
{
    char buffer[MAX_PATH + 1] = {};
    const UINT n = GetWindowsFolder(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !PathStripToRootA(buffer) || !PathAppendA(buffer, folder))
        return false;
    out = buffer;
    return true;
}

typedef UINT(WINAPI* GetSystemWindowsDirectoryAFn)(LPSTR, UINT);

}  // namespace

bool GetShellFolder(int csidl, std::string& out)
{
    char buffer[MAX_PATH + 1] = {};
    HWND active = GetActiveWindow();
    HWND owner = active ? GetLastActivePopup(active) : nullptr;
    if (!SHGetSpecialFolderPathA(owner, buffer, csidl, FALSE))
        return false;
    out = buffer;
    return true;
}

UINT GetWindowsFolder(char* buffer, UINT size)
{
    // Looked up once: systems before Windows 2000 lack it.
    static const GetSystemWindowsDirectoryAFn getSystemWindowsDirectory = [] {
        HMODULE kernel = GetModuleHandleA("Kernel32");
        FARPROC proc = kernel ? GetProcAddress(kernel, "GetSystemWindowsDirectoryA") : nullptr;
        return reinterpret_cast<GetSystemWindowsDirectoryAFn>(reinterpret_cast<void (*)()>(proc));
    }();
    if (getSystemWindowsDirectory)
        return getSystemWindowsDirectory(buffer, size);
    return GetWindowsDirectoryA(buffer, size);
}

std::string ResolvePlaceholder(const std::string& token) { return ResolvePlaceholder(token, GetShellFolder); }

std::string ResolvePlaceholder(const std::string& token, ShellFolderLookup lookup)
{
    for (const PlaceholderRule& rule : PLACEHOLDER_RULES) {
        if (token != rule.token)
            continue;
        std::string value;
        if (lookup(rule.csidl, value))
            return value;
        switch (rule.fallback) {
        case Fallback::None:
            break;
        case Fallback::Folder:
            if (lookup(rule.fallbackCsidl, value))
                return value;
            break;
        case Fallback::RegistryDir:
            if (GetRegistryFolder(rule.registryValue, value) || GetWindowsRootFolder(rule.rootFolder, value))
                return value;
            break;
        case Fallback::WindowsDir: {
            char buffer[MAX_PATH + 1] = {};
            const UINT n = GetWindowsFolder(buffer, MAX_PATH);
            if (n > 0 && n < MAX_PATH)
                return buffer;
            break;
        }
        case Fallback::SystemDir: {
            char buffer[MAX_PATH + 1] = {};
            const UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
            if (n > 0 && n < MAX_PATH)
                return buffer;
            break;
        }
        }
        return std::string();
    }
    return std::string();  // unknown placeholders are removed
}

std::string ExpandPathPlaceholders(const std::string& path, const std::string& installFolder,
                                   const std::string& samplesFolder)
{
    PlaceholderEnvironment env;
    env.installFolder = installFolder;
    env.samplesFolder = samplesFolder;
    env.resolve = [](const std::string& token) { return ResolvePlaceholder(token); };
    env.isRelative = [](const std::string& p) { return PathIsRelativeA(p.c_str()) != FALSE; };
    env.append = [](const std::string& folder, const std::string& more) {
        char buffer[MAX_PATH] = {};
        lstrcpynA(buffer, folder.c_str(), MAX_PATH);
        if (!PathAppendA(buffer, more.c_str()))
            return folder + "\\" + more;
        return std::string(buffer);
    };
    return ExpandPlaceholderText(path, env);
}
