// The extractor's work per entry rather than per byte: checking and creating the destinations, putting the
// finished files in place, the verification, and the clean-up after a failure. Built for size; the decoding
// loop (PayloadExtractor.cpp) keeps its speed.
#include "PayloadExtractor.h"
#include "PayloadExtractorParts.h"

#include "ArchiveFormat.h"
#include "Checksum.h"
#include "LzDecoder.h"
#include "LzFormat.h"
#include "PathRules.h"
#include "PlatformUtils.h"

#include <imagehlp.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>

namespace {

typedef BOOL(WINAPI* SetFileInformationByHandleFn)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// SetFileInformationByHandle where the system has it (Windows Vista and later), else null.
SetFileInformationByHandleFn FileInformationFunction()
{
    static const SetFileInformationByHandleFn pfn = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        FARPROC proc = kernel ? GetProcAddress(kernel, "SetFileInformationByHandle") : nullptr;
        return reinterpret_cast<SetFileInformationByHandleFn>(reinterpret_cast<void*>(proc));
    }();
    return pfn;
}

// Errors by which a file system or system says it cannot rename through a handle: MoveFileA does it then.
bool IsUnsupported(DWORD error)
{
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Renames the file open as file (with delete access) to path, without replacing an existing file, as
// MoveFileA does. The path is made full and given in the system's own form ("\??\C:\...").
bool RenameThroughHandle(HANDLE file, const char* path)
{
    const SetFileInformationByHandleFn pfn = FileInformationFunction();
    wchar_t wide[MAX_PATH];
    wchar_t full[MAX_PATH + 8];
    if (!pfn || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    const DWORD length = GetFullPathNameW(wide, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    std::wstring name;
    if (full[0] == L'\\' && full[1] == L'\\' && full[2] == L'?' && full[3] == L'\\')
        name = std::wstring(L"\\??\\") + (full + 4);
    else if (full[0] == L'\\' && full[1] == L'\\')
        name = std::wstring(L"\\??\\UNC\\") + (full + 2);
    else
        name = std::wstring(L"\\??\\") + full;
    const DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::memcpy(info->FileName, name.data(), nameBytes);
    return pfn(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace

bool PayloadExtractor::FinishDirectory()
{
    m_nEntries = DirectoryEntryCount(m_directorySize);
    m_checkFrom.assign(m_nEntries, 0);
    uint64_t total = m_directorySize;
    for (size_t k = 0; k < m_nEntries; ++k) {
        unsigned char* entry = Entry(k);
        total += ReadLE32(entry + ENTRY_OFFSET_SIZE);
        const DirectoryEntry decoded = DecodeDirectoryEntry(entry);
        const std::string expanded = ExpandPlaceholders(decoded.path);
        // A destination that does not fit a path is refused before any file is written: cut short, it
        // would name another file.
        if (expanded.size() >= DIRECTORY_PATH_SIZE) {
            Fail(EXTRACT_ERROR_SYSTEM, ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        // A destination that is not a full path, or climbs with "..", would land outside the folders the
        // archive names (relative to the working folder, or anywhere on the drive): refused likewise.
        if (!IsPlainFullPath(expanded)) {
            Fail(EXTRACT_ERROR_SYSTEM, ERROR_BAD_PATHNAME);
            return false;
        }
        std::memset(entry + ENTRY_OFFSET_PATH, 0, DIRECTORY_PATH_SIZE);
        std::memcpy(entry + ENTRY_OFFSET_PATH, expanded.data(), expanded.size());
        // Where the placeholder's folder ends: what lies below it is checked for links before writing.
        const size_t close = decoded.path.find('>');
        if (!decoded.path.empty() && decoded.path[0] == '<' && close != std::string::npos) {
            const std::string folder = ExpandPlaceholders(decoded.path.substr(0, close + 1));
            if (folder.size() < expanded.size() && expanded.compare(0, folder.size(), folder) == 0)
                m_checkFrom[k] = folder.size();
        }
    }
    // No archive body yields more content than its every bit spent on the longest tokens: sizes beyond that
    // come from a damaged or hostile directory, refused before any file is opened (or sized to gigabytes).
    const uint64_t bodyBits = m_archiveBodySize * 8;
    const uint64_t mostContent = bodyBits / LZ_MATCH_TOKEN_BITS * LZ_MAX_TOKEN_OUTPUT + m_archiveBodySize;
    if (total > UINT32_MAX || total > mostContent) {
        Fail(EXTRACT_ERROR_TRUNCATED);
        return false;
    }
    m_event.nTotal = static_cast<uint32_t>(total);
    m_opened.assign(m_nEntries, 0);
    m_phase = Phase::Files;
    return true;
}

bool PayloadExtractor::OpenEntry()
{
    const size_t index = m_nextEntry++;
    unsigned char* entry = Entry(index);
    m_bEntryOpen = true;
    m_bSkipping = false;
    m_entryBodyBase = m_event.nBodyRead;
    m_event.nEntrySize = ReadLE32(entry + ENTRY_OFFSET_SIZE);
    m_event.nEntryWritten = 0;
    m_event.pszPath = reinterpret_cast<const char*>(entry + ENTRY_OFFSET_PATH);
    m_event.nKind = static_cast<int>(ReadLE32(entry + ENTRY_OFFSET_KIND));

    // Before anything is written, taken over or granted.
    if (!RefuseReparsePoints(index))
        return false;
    m_event.dwError = 0;
    const int answer = Send(EXTRACT_FILE_BEGIN);
    if (answer == EXTRACT_STOP) {
        Fail(EXTRACT_ERROR_CANCELLED);
        return false;
    }
    if (answer == EXTRACT_FAIL) {
        Fail(EXTRACT_ERROR_SYSTEM, m_event.dwError ? m_event.dwError : ERROR_CANT_ACCESS_FILE);
        return false;
    }
    if (!SendProgress())
        return false;
    if (answer == EXTRACT_SKIP) {
        m_bSkipping = true;
        WriteLE32(entry + ENTRY_OFFSET_CHECKSUM, 0);
        return true;
    }

    PhaseTimer timer(m_pTimings ? &m_pTimings->nFileCalls : nullptr);
    const char* destination = m_event.pszPath;
    // Folders made for this entry go again when the extraction fails (once empty).
    char missing[MAX_PATH];
    lstrcpynA(missing, destination, MAX_PATH);
    std::vector<std::string> made;
    while (PathRemoveFileSpecA(missing) && missing[0] != '\0' && GetFileAttributesA(missing) == INVALID_FILE_ATTRIBUTES)
        made.emplace_back(missing);
    m_createdFolders.insert(m_createdFolders.end(), made.rbegin(), made.rend());
    if (!CreateOutput(destination))
        return false;
    // Written in place, the destination is the extractor's own from now on; under a temporary name, only
    // once it has been renamed into place. A failure removes only such files.
    if (!m_bOutputIsTemp)
        m_opened[index] = 1;
    // Sized to its final length first.
    LARGE_INTEGER size, zero;
    size.QuadPart = m_event.nEntrySize;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(m_output.Get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(m_output.Get()) ||
        !SetFilePointerEx(m_output.Get(), zero, nullptr, FILE_BEGIN)) {
        Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
        return false;
    }
    m_writeFill = 0;
    if (m_pTimings)
        ++m_pTimings->nFiles;
    return true;
}

// Creates the output file: under a temporary name "quXXXX.tmp" in the destination folder, or as the
// destination itself when the folder leaves no room for such a name or no temporary file can be made there.
bool PayloadExtractor::CreateOutput(const char* destination)
{
    char folder[MAX_PATH];
    lstrcpynA(folder, destination, MAX_PATH);
    PathRemoveFileSpecA(folder);
    // Creates the missing folders; a folder that exists already needs none of its calls.
    const DWORD folderAttributes = GetFileAttributesA(folder);
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
        MakeSureDirectoryPathExists(destination);
    // Folders made since the entry's check are checked and held too.
    if (!RefuseReparsePoints(m_nextEntry - 1))
        return false;
    PathAddBackslashA(folder);
    m_outputName.clear();
    m_bOutputIsTemp = false;
    m_bRenameByHandle = false;
    const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
    const int folderLength = lstrlenA(folder);
    if (folderLength <= MAX_TEMP_FOLDER_LENGTH) {
        // The name is made as GetTempFileNameA makes it (a number from the tick count, the next one while the
        // name is taken), but the file is created once, for writing and for the rename through its handle.
        const bool byHandle = FileInformationFunction() != nullptr;
        DWORD unique = GetTickCount() & 0xFFFF;
        if (unique == 0)
            unique = 1;
        const DWORD first = unique;
        char temp[MAX_PATH];
        do {
            std::snprintf(temp, sizeof temp, "%squ%lX.tmp", folder, static_cast<unsigned long>(unique));
            m_output.Reset(CreateFileA(temp, GENERIC_WRITE | (byHandle ? DELETE : 0), 0, nullptr, CREATE_NEW, flags,
                                       nullptr));
            DWORD error = m_output ? NO_ERROR : GetLastError();
            if (error == ERROR_ACCESS_DENIED && byHandle) {
                // Delete access may be what is refused: the plain write access the rename by name needs.
                m_output.Reset(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr));
                error = m_output ? NO_ERROR : GetLastError();
                if (m_output) {
                    m_outputName = temp;
                    m_bOutputIsTemp = true;
                    return true;
                }
            }
            if (m_output) {
                m_outputName = temp;
                m_bOutputIsTemp = true;
                m_bRenameByHandle = byHandle;
                return true;
            }
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_SHARING_VIOLATION)
                break;
            unique = (unique + 1) & 0xFFFF;
            if (unique == 0)
                unique = 1;
        } while (unique != first);
    }
    m_outputName = destination;
    // Written in place: a read-only file cannot be opened for writing. When the open fails the file keeps
    // its attributes, since it stays the user's old file.
    const DWORD attributes = GetFileAttributesA(destination);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        SetFileAttributesA(destination, attributes & ~FILE_ATTRIBUTE_READONLY);
    // Opened without following a link and checked through the handle before anything is cut: the name may
    // have become a link, or a second name of someone else's file, since the entry's check. The entry's
    // sizing cuts it afterwards.
    m_output.Reset(CreateFileA(destination, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = m_output ? NO_ERROR : GetLastError();
    BY_HANDLE_FILE_INFORMATION information = {};
    if (m_output && (!GetFileInformationByHandle(m_output.Get(), &information) ||
                     (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks > 1)) {
        m_output.Close();
        error = ERROR_CANT_ACCESS_FILE;
    }
    if (error != NO_ERROR) {
        if (readOnly)
            SetFileAttributesA(destination, attributes);
        Fail(EXTRACT_ERROR_SYSTEM, error);
        return false;
    }
    return true;
}

// The elevated installer writes into folders that others may have made first (the shared data under
// <CommonData>): an existing folder or file below the placeholder's folder that is a reparse point (a
// junction, a symbolic link) could lead the write, and the access granted to it, to a place of someone
// else's choosing. Such an entry fails instead, and so does an existing file with more than one name (a
// hard link to a file elsewhere on the volume, which a write in place or the access grant would reach).
// Each folder that passed is held open without delete sharing through the verification of the written files
// (opened once, not again for every entry in it), so that nobody can rename it and put a link in its place
// meanwhile. Called again once the entry's folders exist.
bool PayloadExtractor::RefuseReparsePoints(size_t index)
{
    const size_t from = m_checkFrom[index];
    if (from == 0)
        return true;
    const std::string path = m_event.pszPath;
    for (size_t pos = from;;) {
        const size_t next = path.find('\\', pos + 1);
        const std::string item = path.substr(0, next);
        const DWORD attributes = GetFileAttributesA(item.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Nothing below it exists either; an item that cannot be looked at is refused, not let through.
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return true;
            Fail(EXTRACT_ERROR_SYSTEM, error);
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            Fail(EXTRACT_ERROR_SYSTEM, ERROR_CANT_ACCESS_FILE);
            return false;
        }
        if (next == std::string::npos) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && FileLinkCount(path.c_str()) != 1) {
                Fail(EXTRACT_ERROR_SYSTEM, ERROR_CANT_ACCESS_FILE);
                return false;
            }
            return true;
        }
        // A file where a folder belongs is left to the write, which fails with the system's own code.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !m_heldFolderNames.count(item)) {
            // Listing access, not only attributes: a handle with no data access takes no part in the sharing
            // checks, and would not keep a rename of the folder out.
            FileHandle folder(CreateFileA(item.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            BY_HANDLE_FILE_INFORMATION information = {};
            if (!folder || !GetFileInformationByHandle(folder.Get(), &information)) {
                Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
                return false;
            }
            if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                Fail(EXTRACT_ERROR_SYSTEM, ERROR_CANT_ACCESS_FILE);
                return false;
            }
            m_heldFolders.push_back(std::move(folder));
            m_heldFolderNames.insert(item);
        }
        pos = next;
    }
}

void PayloadExtractor::ReleaseFolders()
{
    m_heldFolders.clear();
    m_heldFolderNames.clear();
}

bool PayloadExtractor::FlushOutput()
{
    PhaseTimer timer(m_pTimings ? &m_pTimings->nWrites : nullptr);
    DWORD written = 0;
    const DWORD want = static_cast<DWORD>(m_writeFill);
    const ExtractWriteCall write = ExtractorWriteCall() ? ExtractorWriteCall() : WriteFile;
    if (!write(m_output.Get(), m_writeBuffer.get(), want, &written, nullptr)) {
        Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
        return false;
    }
    if (written != want) {
        Fail(EXTRACT_ERROR_SYSTEM, ERROR_WRITE_FAULT);
        return false;
    }
    m_writeFill = 0;
    return true;
}

bool PayloadExtractor::CompleteEntry()
{
    if (!m_bSkipping) {
        if (m_writeFill > 0 && !FlushOutput())
            return false;
        PhaseTimer timer(m_pTimings ? &m_pTimings->nFileCalls : nullptr);
        if (m_bOutputIsTemp) {
            if (!RenameOutput(m_event.pszPath))
                return false;
        } else if (!m_output.Close()) {
            Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
            return false;
        }
        m_outputName.clear();
        m_bOutputIsTemp = false;
    }
    if (!SendProgress())
        return false;
    if (!m_bSkipping && !SendChecked(EXTRACT_FILE_END))
        return false;
    m_event.pszPath = nullptr;
    m_event.nKind = 0;
    m_bEntryOpen = false;
    m_bSkipping = false;
    return true;
}

// Puts the complete temporary file in place of the destination. The old file goes only now; a destination
// that cannot be replaced (held open by another program) makes the rename fail, with the error MoveFileExA
// gives.
bool PayloadExtractor::RenameOutput(const char* destination)
{
    const size_t index = m_nextEntry - 1;
    // The old file goes only now that the new one is complete, replaced in one step, so that a run ended
    // at any moment leaves either file in place. A read-only old file keeps its attributes until then.
    const DWORD attributes = GetFileAttributesA(destination);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        SetFileAttributesA(destination, attributes & ~FILE_ATTRIBUTE_READONLY);
    const auto fail = [&](DWORD error) {
        if (readOnly)
            SetFileAttributesA(destination, attributes);
        Fail(EXTRACT_ERROR_SYSTEM, error);
        return false;
    };
    if (m_bRenameByHandle) {
        // Through the handle that wrote it: no second opening of the file.
        if (RenameThroughHandle(m_output.Get(), destination)) {
            m_opened[index] = 1;
            if (!m_output.Close()) {
                Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
                return false;
            }
            return true;
        }
        const DWORD error = GetLastError();
        if (!IsUnsupported(error))
            return fail(error);
    }
    if (!m_output.Close())
        return fail(GetLastError());
    bool moved = MoveFileExA(m_outputName.c_str(), destination, MOVEFILE_REPLACE_EXISTING) != FALSE;
    // The Windows 9x family has no MoveFileEx: there the old file has to go first.
    if (!moved && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        DeleteFileA(destination);
        moved = MoveFileA(m_outputName.c_str(), destination) != FALSE;
    }
    if (!moved)
        return fail(GetLastError());
    m_opened[index] = 1;
    return true;
}

bool PayloadExtractor::VerifyFiles()
{
    for (size_t k = 0; k < m_nEntries; ++k) {
        const unsigned char* entry = Entry(k);
        const uint32_t expected = ReadLE32(entry + ENTRY_OFFSET_CHECKSUM);
        if (expected == 0)
            continue;
        const char* path = reinterpret_cast<const char*>(entry + ENTRY_OFFSET_PATH);
        if (ComputeFileChecksum(path, false, true) != expected) {
            Fail(EXTRACT_ERROR_VERIFY);
            return false;
        }
    }
    return true;
}

void PayloadExtractor::DiscardOutput()
{
    m_output.Close();
    // A temporary file left by an interrupted entry.
    if (m_bOutputIsTemp && !m_outputName.empty())
        DeleteFileA(m_outputName.c_str());
    m_outputName.clear();
    m_bOutputIsTemp = false;
}

void PayloadExtractor::HandleFailure()
{
    m_readBuffer.reset();
    m_archive.Close();
    Send(EXTRACT_FAILED);
    DiscardOutput();
    for (size_t k = 0; k < m_opened.size(); ++k) {
        if (m_opened[k])
            DeleteFileA(reinterpret_cast<const char*>(Entry(k) + ENTRY_OFFSET_PATH));
    }
    m_opened.clear();
    ReleaseFolders();
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it)
        RemoveDirectoryA(it->c_str());
    m_createdFolders.clear();
    m_directory.clear();
    m_directory.shrink_to_fit();
    m_decoder.reset();
    m_writeBuffer.reset();
    m_bEntryOpen = false;
}
