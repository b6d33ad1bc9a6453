// Path rules of folder selection: sub-folder merging, root-relative paths and typed-path checks, all through
// the system's path functions (multi-byte aware) on MAX_PATH buffers.
#include "FolderBrowser.h"

#include "ErrorReport.h"
#include "Handles.h"

#include <imagehlp.h>
#include <shlwapi.h>

namespace {

// Copies text into a MAX_PATH buffer; false when it does not fit.
bool CopyPath(char (&buffer)[MAX_PATH], const char* text)
{
    if (!text || lstrlenA(text) >= MAX_PATH)
        return false;
    lstrcpynA(buffer, text, MAX_PATH);
    return true;
}

// The relative path from the directory base to the directory path, canonicalized; false when none exists.
bool RelativeFolderPath(const char* base, const char* path, std::string& relative)
{
    char rel[MAX_PATH], canonical[MAX_PATH];
    if (!PathRelativePathToA(rel, base, FILE_ATTRIBUTE_DIRECTORY, path, FILE_ATTRIBUTE_DIRECTORY))
        return false;
    relative = PathCanonicalizeA(canonical, rel) ? canonical : rel;
    return true;
}

// Restores the current directory that it remembered, on every path out.
class CurrentDirectoryGuard {
public:
    // False when the current directory cannot be read; nothing is restored then.
    bool Remember()
    {
        const DWORD n = GetCurrentDirectoryA(MAX_PATH, m_saved);
        m_bSaved = n > 0 && n < MAX_PATH;
        if (!m_bSaved && n >= MAX_PATH)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return m_bSaved;
    }
    ~CurrentDirectoryGuard()
    {
        if (m_bSaved) {
            const DWORD error = GetLastError();
            SetCurrentDirectoryA(m_saved);
            SetLastError(error);
        }
    }

private:
    char m_saved[MAX_PATH] = {};
    bool m_bSaved = false;
};

// Qualifies typed against the current directory: 0 or ERROR_BAD_PATHNAME.
DWORD Qualify(const char* typed, char (&qualified)[MAX_PATH])
{
    return PathSearchAndQualifyA(typed, qualified, MAX_PATH) ? 0 : ERROR_BAD_PATHNAME;
}

// A qualified path must lie under the base and hold only valid path characters.
DWORD CheckQualified(const char* qualified, const char* pszBase)
{
    if (pszBase && *pszBase && PathCommonPrefixA(qualified, pszBase, nullptr) < lstrlenA(pszBase))
        return ERROR_BAD_PATHNAME;
    if (!IsValidPathText(qualified))
        return ERROR_BAD_PATHNAME;
    return 0;
}

}  // namespace

bool IsValidPathText(const char* text)
{
    for (const char* p = text; *p; p = CharNextA(p)) {
        const UINT type = PathGetCharTypeA(static_cast<unsigned char>(*p));
        if (type == GCT_INVALID || (type & GCT_WILD))
            return false;
    }
    return true;
}

const char* CQuFolderBrowser::GetRootParent()
{
    if (!m_pidlRoot)
        return nullptr;
    if (m_strRootParent.empty()) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(m_pidlRoot, path) && PathRemoveFileSpecA(path))
            m_strRootParent = path;
    }
    return m_strRootParent.empty() ? nullptr : m_strRootParent.c_str();
}

int CQuFolderBrowser::CountTailComponents(const char* tail) const
{
    char path[MAX_PATH], part[MAX_PATH];
    if (!CopyPath(path, m_strPath.c_str()) || !CopyPath(part, tail))
        return 0;
    PathRemoveBackslashA(path);
    PathRemoveBackslashA(part);
    for (int k = 1;; ++k) {
        const char* pathName = PathFindFileNameA(path);
        if (pathName == path)
            return 0;
        const char* partName = PathFindFileNameA(part);
        if (lstrcmpiA(pathName, partName) != 0)
            return 0;
        if (partName == part)
            return k;
        if (!PathRemoveFileSpecA(path) || !PathRemoveFileSpecA(part))
            return 0;
    }
}

void CQuFolderBrowser::AppendSubFolder()
{
    if (m_strSubFolder.empty())
        return;
    if (CountTailComponents(m_strSubFolder.c_str()) == 0) {
        // The path may already end with the sub-folder's first components: append only the rest.
        const char* rest = m_strSubFolder.c_str();
        char lead[MAX_PATH];
        if (CopyPath(lead, rest)) {
            PathRemoveBackslashA(lead);
            while (PathRemoveFileSpecA(lead) && *lead) {
                if (const int n = CountTailComponents(lead)) {
                    for (int i = 0; i < n && rest; ++i)
                        rest = PathFindNextComponentA(rest);
                    break;
                }
            }
        }
        char path[MAX_PATH];
        if (rest && CopyPath(path, m_strPath.c_str()) && PathAppendA(path, rest))
            m_strPath = path;
    }
    std::string relative;
    if (const char* parent = GetRootParent())
        if (RelativeFolderPath(parent, m_strPath.c_str(), relative))
            m_strPath = relative;
}

std::string CQuFolderBrowser::StripSubFolder() const
{
    const int n = m_strSubFolder.empty() ? 0 : CountTailComponents(m_strSubFolder.c_str());
    char path[MAX_PATH];
    if (n == 0 || !CopyPath(path, m_strPath.c_str()))
        return m_strPath;
    PathRemoveBackslashA(path);
    for (int i = 0; i < n; ++i)
        PathRemoveFileSpecA(path);
    return path;
}

std::string CQuFolderBrowser::MakeRootRelative()
{
    const char* parent = GetRootParent();
    char rel[MAX_PATH], canonical[MAX_PATH];
    if (!parent || !PathRelativePathToA(rel, parent, FILE_ATTRIBUTE_DIRECTORY, m_strPath.c_str(),
                                        FILE_ATTRIBUTE_DIRECTORY))
        return m_strPath;
    if (lstrcmpA(rel, ".") == 0)
        return std::string();
    return PathCanonicalizeA(canonical, rel) ? canonical : m_strPath;
}

void CQuFolderBrowser::SetInitialPath(const char* pszPath, const char* pszSubFolder)
{
    m_strPath = (pszPath && !PathIsRelativeA(pszPath)) ? pszPath : "";
    char path[MAX_PATH];
    if (m_strPath.empty() && m_pidlRoot && SHGetPathFromIDListA(m_pidlRoot, path))
        m_strPath = path;
    if (m_strPath.empty()) {
        // Read once per process; the folder is not created.
        static const std::string documents = [] {
            char folder[MAX_PATH] = {};
            return SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE) ? std::string(folder)
                                                                                  : std::string();
        }();
        m_strPath = documents;
    } else if (m_strPath.back() == ':') {
        m_strPath += '\\';
    }
    // A sub-folder with an invalid character is ignored: no sub-folder, not one left from before.
    m_strSubFolder = (pszSubFolder && IsValidPathText(pszSubFolder)) ? pszSubFolder : "";
    AppendSubFolder();
}

DWORD CQuFolderBrowser::CheckTypedPath(const char* pszText, const char* pszBase, bool bCreate, std::string& result)
{
    if (!pszText || lstrlenA(pszText) >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    char typed[MAX_PATH];
    lstrcpynA(typed, pszText, MAX_PATH);
    PathRemoveBlanksA(typed);
    PathRemoveBackslashA(typed);
    if (lstrlenA(typed) == 2 && typed[1] == ':')
        lstrcatA(typed, "\\");  // a drive letter alone is the drive's root
    if (!*typed) {
        const DWORD n = GetCurrentDirectoryA(MAX_PATH, typed);
        if (n == 0 || n >= MAX_PATH)
            return n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    }
    const bool bBase = pszBase && *pszBase;
    char qualified[MAX_PATH];
    DWORD code = 0;
    {
        CurrentDirectoryGuard guard;
        if (bBase && (!guard.Remember() || !SetCurrentDirectoryA(pszBase)))
            return GetLastError();
        code = Qualify(typed, qualified);
    }
    if (!code)
        code = CheckQualified(qualified, bBase ? pszBase : nullptr);
    if (code)
        return code;
    if (bCreate) {
        char withSlash[MAX_PATH + 1];
        lstrcpynA(withSlash, qualified, MAX_PATH);
        PathAddBackslashA(withSlash);
        if (!MakeSureDirectoryPathExists(withSlash))
            return GetLastError();
    }
    result = qualified;
    return 0;
}

bool CQuFolderBrowser::QualifyTypedPath(const char* pszText, const char* pszBase, bool bCreate, std::string& result)
{
    const DWORD code = CheckTypedPath(pszText, pszBase, bCreate, result);
    if (code)
        ReportSystemError(code, "%s", 0);
    return code == 0;
}

DWORD CheckTypedTreePath(const char* pszText, const char* pszBase, std::string& result)
{
    char typed[MAX_PATH + 1];
    lstrcpynA(typed, pszText ? pszText : "", MAX_PATH);
    PathRemoveBlanksA(typed);
    PathRemoveBackslashA(typed);
    const int n = lstrlenA(typed);
    if (n > 0 && typed[n - 1] == ':')
        lstrcatA(typed, "\\");
    const bool bBase = pszBase && *pszBase;
    char qualified[MAX_PATH];
    DWORD code = 0;
    {
        // Failures are not checked here: an empty text then means whatever directory is current.
        CurrentDirectoryGuard guard;
        if (bBase && guard.Remember())
            SetCurrentDirectoryA(pszBase);
        if (!*typed)
            GetCurrentDirectoryA(MAX_PATH, typed);
        code = Qualify(typed, qualified);
    }
    if (!code)
        code = CheckQualified(qualified, bBase ? pszBase : nullptr);
    if (!code)
        result = qualified;
    return code;
}
