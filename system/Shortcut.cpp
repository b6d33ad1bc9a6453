#include "Shortcut.h"

#include "Handles.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// Copies text into a MAX_PATH buffer; false when it does not fit.
bool CopyPath(char (&buffer)[MAX_PATH], const char* text)
{
    if (!text)
        return false;
    const size_t length = std::strlen(text);
    if (length >= MAX_PATH)
        return false;
    std::memcpy(buffer, text, length + 1);
    return true;
}

HRESULT SaveLink(const char* target, const char* workingFolder, const char* linkPath)
{
    wchar_t wideLinkPath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(GetLastError());

    ComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(link.Put()));
    if (FAILED(hr))
        return hr;
    // Only the saved file tells whether the link is usable; these results are not looked at.
    link->SetPath(target);
    link->SetWorkingDirectory(workingFolder);

    ComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put()));
    if (SUCCEEDED(hr))
        hr = file->Save(wideLinkPath, TRUE);
    return hr;
}

}  // namespace

bool CreateShortcut(const char* target, const char* folder, const char* name, std::string* pstrLinkPath)
{
    char workingFolder[MAX_PATH];
    if (!CopyPath(workingFolder, target) || !PathRemoveFileSpecA(workingFolder))
        return false;

    // The joined path and its ".lnk" must both fit: PathAppendA checks only the join.
    static const char extension[] = ".lnk";
    char linkPath[MAX_PATH];
    if (!name || !CopyPath(linkPath, folder) || !PathAppendA(linkPath, name) ||
        std::strlen(linkPath) + sizeof(extension) > MAX_PATH)
        return false;
    std::strcat(linkPath, extension);

    const HRESULT init = CoInitialize(nullptr);
    if (init != S_OK && init != S_FALSE)
        return false;
    const HRESULT hr = SaveLink(target, workingFolder, linkPath);
    CoUninitialize();

    if (FAILED(hr))
        return false;
    if (pstrLinkPath)
        *pstrLinkPath = linkPath;
    return true;
}
