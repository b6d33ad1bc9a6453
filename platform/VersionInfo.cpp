#include "VersionInfo.h"

#include "ErrorReport.h"
#include "WinApp.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class VersionBlock {
public:
    explicit VersionBlock(std::vector<char> data) : m_data(std::move(data)) {}

    // The value of a sub-block, or null; length in the units VerQueryValueA reports.
    const void* Query(const char* subBlock, UINT& length) const
    {
        void* value = nullptr;
        length = 0;
        // VerQueryValueA may write its ANSI conversions into the block: it takes a non-const pointer.
        if (!VerQueryValueA(const_cast<char*>(m_data.data()), subBlock, &value, &length))
            return nullptr;
        return value;
    }

    bool QueryString(const std::string& key, const char* name, std::string& out) const
    {
        const std::string path = "\\StringFileInfo\\" + key + "\\" + name;
        UINT length = 0;
        const auto* text = static_cast<const char*>(Query(path.c_str(), length));
        if (!text)
            return false;
        out.assign(text, strnlen(text, length));
        return true;
    }

private:
    std::vector<char> m_data;
};

}  // namespace

bool ReadVersionInfo(VERSION_INFO& info, const char* fileName, bool reportErrors)
{
    const uint32_t request = info.nRequest;
    if (request & VI_TITLE)
        info.strTitle.clear();
    if (request & VI_PRODUCT_NAME)
        info.strProductName.clear();
    if (request & VI_PRODUCT_VERSION)
        info.strProductVersion.clear();
    if (request & VI_FILE_DESCRIPTION)
        info.strFileDescription.clear();
    if (request & VI_LEGAL_NOTICE)
        info.strLegalNotice.clear();
    info.nFileVersion = 0;
    info.nFileFlags = 0;

    char path[MAX_PATH];
    if (!fileName) {
        const DWORD n = GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return false;
        fileName = path;
    }

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &ignored);
    if (size == 0)
        return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(fileName, 0, size, data.data())) {
        const DWORD error = GetLastError();
        if (reportErrors)
            ReportSystemError(error, "%s", 0);
        return false;
    }
    const VersionBlock block(std::move(data));

    UINT length = 0;
    const auto* translation = static_cast<const WORD*>(block.Query("\\VarFileInfo\\Translation", length));
    if (!translation || length < 2 * sizeof(WORD))
        return false;
    char key[16];
    std::snprintf(key, sizeof key, "%04hX%04hX", translation[0], translation[1]);

    bool complete = true;
    if (request & (VI_TITLE | VI_PRODUCT_NAME)) {
        std::string name;
        complete = block.QueryString(key, "ProductName", name) && complete;
        if (request & VI_TITLE)
            info.strTitle = name;
        if (request & VI_PRODUCT_NAME)
            info.strProductName = name;
    }
    if (request & (VI_TITLE | VI_PRODUCT_VERSION)) {
        std::string version;
        const bool found = block.QueryString(key, "ProductVersion", version);
        complete = found && complete;
        if ((request & VI_TITLE) && found)
            info.strTitle += " " + version;
        if (request & VI_PRODUCT_VERSION)
            info.strProductVersion = version;
    }
    if (request & (VI_TITLE | VI_FILE_VERSION | VI_FILE_FLAGS)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block.Query("\\", length));
        if (fixed && length >= sizeof(VS_FIXEDFILEINFO)) {
            const DWORD flags = fixed->dwFileFlags & fixed->dwFileFlagsMask;
            if (request & VI_FILE_VERSION)
                info.nFileVersion = (uint64_t{fixed->dwFileVersionMS} << 32) | fixed->dwFileVersionLS;
            if (request & VI_FILE_FLAGS)
                info.nFileFlags = flags;
            if (request & VI_TITLE) {
                if (flags & VS_FF_PRIVATEBUILD)
                    info.strTitle += " - Private";
                if (flags & VS_FF_DEBUG)
                    info.strTitle += " - Debug";
            }
        } else {
            complete = false;
        }
    }
    if (request & VI_FILE_DESCRIPTION)
        complete = block.QueryString(key, "FileDescription", info.strFileDescription) && complete;
    if (request & VI_LEGAL_NOTICE)
        complete = block.QueryString(key, "LegalCopyright", info.strLegalNotice) && complete;
    return complete;
}
