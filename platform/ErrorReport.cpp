#include "ErrorReport.h"

#include "Handles.h"
#include "VersionInfo.h"
#include "WinApp.h"

#include <cstdio>

namespace {

// String resource 32102 of the module: the caption of error reports; usually absent.
constexpr UINT IDS_ERROR_CAPTION = 32102;

std::string LoadModuleString(UINT id)
{
    char buffer[256];
    const int n = LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Pre-release builds carry "bêta" in their version; other languages than French show "beta".
void LocaliseBeta(std::string& title)
{
    if (PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale())) == LANG_FRENCH)
        return;
    const std::string accented = "b\xEAta";
    for (size_t pos = title.find(accented); pos != std::string::npos; pos = title.find(accented, pos + 4))
        title.replace(pos, accented.size(), "beta");
}

}  // namespace

bool ReadProgramTitle(std::string& title)
{
    VERSION_INFO info;
    info.nRequest = VI_TITLE | VI_FILE_FLAGS;
    // Never reports: a report would need this caption again.
    const bool ok = ReadVersionInfo(info, nullptr, false);
    title = info.strTitle;
    if (info.nFileFlags & VS_FF_PRERELEASE)
        LocaliseBeta(title);
    return ok;
}

std::string GetMessageBoxCaption(const char* caption)
{
    if (caption && *caption)
        return caption;
    if (CWinApp* app = AfxGetApp())
        return app->m_pszAppName ? app->m_pszAppName : "";
    // No application object: the version information is read without reporting, so that a failure here
    // cannot come back into the message box that is being shown.
    std::string title;
    if (ReadProgramTitle(title))
        return title;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

int ShowMessageBox(const char* text, const char* caption, UINT style)
{
    const std::string title = GetMessageBoxCaption(caption);
    CWinApp* app = AfxGetApp();
    if (!app) {
        HWND active = GetActiveWindow();
        HWND owner = active ? GetLastActivePopup(active) : nullptr;
        return MessageBoxA(owner, text, title.c_str(), style);
    }
    app->EnableModeless(false);
    HWND top = nullptr;
    HWND owner = AfxGetSafeOwner(nullptr, &top);
    if (owner && owner != top)
        EnableWindow(owner, TRUE);
    const int result = MessageBoxA(owner, text, title.c_str(), style);
    if (top)
        EnableWindow(top, TRUE);
    app->EnableModeless(true);
    return result;
}

void ReportSystemError(DWORD code, const char* format, DWORD language)
{
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    char* text = nullptr;
    DWORD n = FormatMessageA(flags, nullptr, code, language, reinterpret_cast<char*>(&text), 0, nullptr);
    if (n == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
        n = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    LocalMemory owned(text);
    const std::string caption = LoadModuleString(IDS_ERROR_CAPTION);
    if (n == 0 || !text) {
        ShowMessageBox(UNKNOWN_ERROR_TEXT, caption.c_str(), MB_ICONEXCLAMATION);
        return;
    }
    std::string message;
    if (!format || std::string(format) == "%s") {
        message = text;
    } else {
        const int size = std::snprintf(nullptr, 0, format, text);
        if (size > 0) {
            message.resize(static_cast<size_t>(size) + 1);
            std::snprintf(&message[0], message.size(), format, text);
            message.resize(static_cast<size_t>(size));
        }
    }
    ShowMessageBox(message.c_str(), caption.c_str(), MB_ICONEXCLAMATION);
}
