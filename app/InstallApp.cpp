#include "InstallApp.h"

#include "ArchiveFormat.h"
#include "Handles.h"

#include <cstdio>

namespace {

bool FailStep(const char* step, std::string& error)
{
    char text[64];
    std::snprintf(text, sizeof text, "%08lx (%s)", static_cast<unsigned long>(GetLastError()), step);
    error = text;
    return false;
}

// GetTempFileNameA needs room for "quXXXX.tmp" within MAX_PATH.
constexpr DWORD MAX_TEMP_FOLDER_LENGTH = 246;

}  // namespace

CInstallApp::CInstallApp() = default;

CInstallApp::~CInstallApp() = default;

bool CInstallApp::CopyPayloadToTemp(std::string& error)
{
    HMODULE module = AfxGetResourceHandle();
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(PAYLOAD_RESOURCE_NAME),
                                   MAKEINTRESOURCEA(PAYLOAD_RESOURCE_TYPE));
    if (!resource)
        return FailStep("FindResource", error);
    const DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return FailStep("SizeofResource", error);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return FailStep("LoadResource", error);
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return FailStep("LockResource", error);

    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_TEMP_FOLDER_LENGTH)
        return FailStep("GetTempPath", error);
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder, "qu", 0, name))
        return FailStep("GetTempFileName", error);
    // From here on a failure leaves no temporary file behind.
    TempFileGuard guard(name);
    FileHandle file(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!file)
        return FailStep("CreateFile", error);
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes, size, &written, nullptr))
        return FailStep("WriteFile", error);
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return FailStep("WriteFile", error);
    }
    if (!file.Close())
        return FailStep("CloseHandle", error);
    m_strPayloadFile = guard.Dismiss();
    return true;
}

void CInstallApp::DeletePayloadFile()
{
    if (!m_strPayloadFile.empty())
        DeleteFileA(m_strPayloadFile.c_str());
    m_strPayloadFile.clear();
}
