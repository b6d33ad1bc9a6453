// The uninstall log: records of both lists and the reading of the previous log.
#include "UninstallLog.h"

#include "Handles.h"

#include <vector>

std::string AnsiFromWide(const char16_t* text, size_t count)
{
    if (count == 0)
        return std::string();
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    const int units = static_cast<int>(count);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, units, &out[0], size, nullptr, nullptr);
    return out;
}

namespace {

bool IsExistingFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

CUninstallLog::~CUninstallLog()
{
    FreeRecords(m_pOldFirst, m_pOldLast);
    FreeRecords(m_pFirst, m_pLast);
}

bool CUninstallLog::Load(const char* path, const std::string& product)
{
    m_strProduct = product;
    m_strInstallPath.clear();
    m_strShortcutPath.clear();
    // Load runs once at start-up; a second call must not add the records twice.
    FreeRecords(m_pOldFirst, m_pOldLast);
    m_strPreviousProduct.clear();
    if (!path)
        return true;

    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file)
        return false;

    UninstallLogReader reader(IsExistingFolder, AnsiFromWide);
    std::vector<char> block(16384);
    bool readOk = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) {
            readOk = false;
            reader.Abort();
            break;
        }
        if (got == 0) {
            reader.Finish();
            break;
        }
        if (!reader.Feed(block.data(), got))
            break;
    }
    file.Close();

    m_strPreviousProduct = reader.GetPreviousProduct();
    m_strInstallPath = reader.GetInstallPath();
    m_strShortcutPath = reader.GetShortcutPath();
    for (const ULOG_LINE_RECORD& line : reader.GetRecords()) {
        auto* record = new LOG_RECORD;
        record->nKind = line.nKind;
        record->nCode = line.nCode;
        record->bDone = line.bDone ? 1 : 0;
        record->strPath = line.strPath;
        AppendRecord(m_pOldFirst, m_pOldLast, record);
    }
    return readOk;
}

std::string CUninstallLog::FindMainProgram() const
{
    for (const LOG_RECORD* record = m_pOldLast; record; record = record->pPrev) {
        if (record->nKind == LR_FILE && record->nCode == 1 && record->bDone && !record->strPath.empty())
            return record->strPath;
    }
    return std::string();
}
