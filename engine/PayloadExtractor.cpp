#include "PayloadExtractor.h"

#include "ArchiveFormat.h"
#include "Checksum.h"
#include "LzDecoder.h"
#include "LzFormat.h"
#include "MessagePump.h"
#include "PathRules.h"
#include "PlaceholderExpansion.h"
#include "Placeholders.h"
#include "PlatformUtils.h"

#include <imagehlp.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr DWORD READ_BUFFER_SIZE = 64 * 1024;
constexpr size_t WRITE_BUFFER_SIZE = 64 * 1024;
constexpr uint32_t PROGRESS_STEP = 256;
constexpr unsigned STORED_UNIT = 32;
// A temporary name "quXXXX.tmp" must fit within MAX_PATH.
constexpr int MAX_TEMP_FOLDER_LENGTH = 246;

// Adds the time from construction to destruction to a counter, when there is one.
class PhaseTimer {
public:
    explicit PhaseTimer(int64_t* pTotal) : m_pTotal(pTotal)
    {
        if (m_pTotal)
            m_start = Now();
    }
    ~PhaseTimer()
    {
        if (m_pTotal)
            *m_pTotal += Now() - m_start;
    }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

private:
    static int64_t Now()
    {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return t.QuadPart;
    }
    int64_t* m_pTotal;
    int64_t m_start = 0;
};

// Copies n bytes (N <= n <= 2N) as the first and the last N, both loaded before either is stored.
template <size_t N>
inline void CopyEnds(unsigned char* to, const unsigned char* from, size_t n)
{
    unsigned char head[N], tail[N];
    std::memcpy(head, from, N);
    std::memcpy(tail, from + n - N, N);
    std::memcpy(to, head, N);
    std::memcpy(to + n - N, tail, N);
}

// Copies a unit (1 to 33 bytes) with a few fixed-size moves that stay within [0, n).
inline void CopyUnit(unsigned char* to, const unsigned char* from, size_t n)
{
    if (n > 2 * 16) {
        std::memcpy(to, from, n);
    } else if (n >= 16) {
        CopyEnds<16>(to, from, n);
    } else if (n >= 8) {
        CopyEnds<8>(to, from, n);
    } else if (n >= 4) {
        CopyEnds<4>(to, from, n);
    } else {
        for (size_t k = 0; k < n; ++k)
            to[k] = from[k];
    }
}

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

struct EventName {
    uint32_t code;
    const char* name;
};

const EventName EVENT_NAMES[] = {
    {EXTRACT_PROGRESS, "EXTRACT_PROGRESS"},     {EXTRACT_BEGIN, "EXTRACT_BEGIN"},
    {EXTRACT_ARCHIVE_OK, "EXTRACT_ARCHIVE_OK"}, {EXTRACT_FILE_BEGIN, "EXTRACT_FILE_BEGIN"},
    {EXTRACT_FILE_END, "EXTRACT_FILE_END"},     {EXTRACT_VERIFY, "EXTRACT_VERIFY"},
    {EXTRACT_END, "EXTRACT_END"},               {EXTRACT_FAILED, "EXTRACT_FAILED"},
};

}  // namespace

ExtractWriteCall& ExtractorWriteCall()
{
    static ExtractWriteCall call = nullptr;
    return call;
}

const char* GetExtractEventName(uint32_t code)
{
    for (const EventName& e : EVENT_NAMES)
        if (e.code == code)
            return e.name;
    return nullptr;
}

PayloadExtractor::PayloadExtractor() = default;
PayloadExtractor::~PayloadExtractor() = default;

void PayloadExtractor::SetInstallFolder(const std::string& folder) { m_strInstallFolder = TrimFolderValue(folder); }

void PayloadExtractor::SetSamplesFolder(const std::string& folder) { m_strSamplesFolder = TrimFolderValue(folder); }

void PayloadExtractor::SetCallback(ExtractCallback pfnCallback, void* pUser)
{
    m_pfnCallback = pfnCallback;
    m_pUser = pUser;
}

std::string PayloadExtractor::ExpandPlaceholders(const std::string& path) const
{
    return ExpandPathPlaceholders(path, m_strInstallFolder, m_strSamplesFolder);
}

unsigned char* PayloadExtractor::Entry(size_t index)
{
    return m_directory.data() + DIRECTORY_HEADER_SIZE + index * DIRECTORY_ENTRY_SIZE;
}

bool PayloadExtractor::Extract(const char* pszArchive)
{
    try {
        if (Run(pszArchive))
            return true;
    } catch (const std::exception&) {  // buffers that cannot be allocated
        Fail(EXTRACT_ERROR_SYSTEM, ERROR_NOT_ENOUGH_MEMORY);
    }
    HandleFailure();
    return false;
}

void PayloadExtractor::Fail(int kind, DWORD systemError)
{
    if (m_nErrorKind != EXTRACT_ERROR_NONE)
        return;
    m_nErrorKind = kind;
    if (kind == EXTRACT_ERROR_SYSTEM)
        m_dwSystemError = systemError;
}

int PayloadExtractor::Send(uint32_t code)
{
    m_event.nCode = code;
    m_event.nEntryBodyRead = m_bEntryOpen ? m_event.nBodyRead - m_entryBodyBase : 0;
    return m_pfnCallback ? m_pfnCallback(&m_event) : EXTRACT_CONTINUE;
}

bool PayloadExtractor::SendChecked(uint32_t code)
{
    if (Send(code) != EXTRACT_STOP)
        return true;
    Fail(EXTRACT_ERROR_CANCELLED);
    return false;
}

bool PayloadExtractor::SendProgress()
{
    m_progressMark = m_event.nDone;
    return SendChecked(EXTRACT_PROGRESS);
}

bool PayloadExtractor::Run(const char* pszArchive)
{
    m_nErrorKind = EXTRACT_ERROR_NONE;
    m_dwSystemError = 0;
    m_event = ExtractEvent{};
    m_event.pExtractor = this;
    m_event.pUser = m_pUser;
    m_progressMark = 0;
    m_readPos = m_readEnd = 0;
    m_bReadFailed = false;
    m_bStored = false;
    m_phase = Phase::DirectorySize;
    m_directory.clear();
    m_directorySize = m_directoryHeld = 0;
    m_nEntries = m_nextEntry = 0;
    m_opened.clear();
    m_createdFolders.clear();
    m_bEntryOpen = m_bSkipping = false;
    m_outputName.clear();
    m_bOutputIsTemp = false;
    m_bRenameByHandle = false;
    if (!SendChecked(EXTRACT_BEGIN))
        return false;

    // Writers are shared: the installer holds its payload copy open for writing (and so keeps others out).
    m_archive.Reset(CreateFileA(pszArchive, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_archive) {
        Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
        return false;
    }
    LARGE_INTEGER archiveSize;
    if (!GetFileSizeEx(m_archive.Get(), &archiveSize)) {
        Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
        return false;
    }
    m_archiveBodySize = archiveSize.QuadPart > static_cast<LONGLONG>(ARCHIVE_CHECKSUM_SIZE)
                            ? static_cast<uint64_t>(archiveSize.QuadPart) - ARCHIVE_CHECKSUM_SIZE
                            : 0;
    bool checksumOk;
    {
        PhaseTimer timer(m_pTimings ? &m_pTimings->nChecksum : nullptr);
        checksumOk = VerifyFileChecksum(pszArchive, false);
    }
    if (!checksumOk) {
        Fail(EXTRACT_ERROR_CHECKSUM);
        return false;
    }
    unsigned char checksum[ARCHIVE_CHECKSUM_SIZE];
    DWORD got = 0;
    if (!ReadFile(m_archive.Get(), checksum, sizeof checksum, &got, nullptr) || got != sizeof checksum) {
        Fail(EXTRACT_ERROR_TRUNCATED);
        return false;
    }
    if (!SendChecked(EXTRACT_ARCHIVE_OK))
        return false;

    m_readBuffer.reset(new unsigned char[READ_BUFFER_SIZE]);
    m_writeBuffer.reset(new unsigned char[WRITE_BUFFER_SIZE]);
    m_decoder.reset(new LzDecoder);

    {
        PhaseTimer timer(m_pTimings ? &m_pTimings->nLoop : nullptr);
        DWORD lastPump = GetTickCount() - 1;
        while (!IsFinished()) {
            // Keeps the wizard painting while the extraction runs on its thread. Once per timer tick: a
            // PeekMessage costs tens of microseconds under Wine, more than decoding a unit, and the window
            // cannot tell the difference.
            const DWORD now = GetTickCount();
            if (now != lastPump) {
                PumpMessages(false);
                lastPump = now;
            }
            // The common case first: tokens inside an entry being written, no event due.
            if (!DecodeWithinEntry())
                return false;
            if (IsFinished())
                break;
            unsigned char buffer[LZ_MAX_TOKEN_OUTPUT];
            const unsigned char* unit = nullptr;
            unsigned length = 0;
            if (!ProduceUnit(buffer, unit, length))
                return false;
            if (m_event.nDone - m_progressMark >= PROGRESS_STEP && !SendProgress())
                return false;
            m_event.nDone += length;
            if (!Consume(unit, length) || !AfterUnit())
                return false;
        }
    }

    m_readBuffer.reset();
    m_archive.Close();
    m_decoder.reset();
    m_writeBuffer.reset();
    // The folders stay held through the verification, and through the deletions that follow a failed one.
    if (!SendChecked(EXTRACT_VERIFY))
        return false;
    bool verified;
    {
        PhaseTimer timer(m_pTimings ? &m_pTimings->nVerify : nullptr);
        verified = VerifyFiles();
    }
    if (!verified)
        return false;
    ReleaseFolders();

    m_directory.clear();
    m_directory.shrink_to_fit();
    m_opened.clear();
    m_createdFolders.clear();
    // The extraction has succeeded; the answer cannot undo it.
    Send(EXTRACT_END);
    return true;
}

// Decodes tokens straight from the read buffer into the write buffer while each of them is a whole unit of
// the entry being written and no event falls due: exactly what the unit-by-unit loop would do with them.
bool PayloadExtractor::DecodeWithinEntry()
{
    if (m_phase != Phase::Files || !m_bEntryOpen || m_bSkipping || m_bStored)
        return true;
    const unsigned char* const start = m_readBuffer.get() + m_readPos;
    const unsigned char* in = start;
    const unsigned char* const inEnd = m_readBuffer.get() + m_readEnd;
    unsigned char* const writeBuffer = m_writeBuffer.get();
    uint32_t done = m_event.nDone;
    uint32_t written = m_event.nEntryWritten;
    const uint32_t size = m_event.nEntrySize;
    size_t fill = m_writeFill;
    bool ok = true;
    // Each token: at most LZ_MAX_TOKEN_INPUT bytes in, LZ_MAX_TOKEN_OUTPUT bytes out; the entry does not
    // end within it, so no file completes here.
    while (inEnd - in >= static_cast<ptrdiff_t>(LZ_MAX_TOKEN_INPUT) && done - m_progressMark < PROGRESS_STEP &&
           size - written > LZ_MAX_TOKEN_OUTPUT && WRITE_BUFFER_SIZE - fill >= LZ_MAX_TOKEN_OUTPUT) {
        const unsigned char* unit = nullptr;
        unsigned length = 0;
        if (m_decoder->DecodeUnitFrom(in, unit, length) != LzStatus::Ok) {
            ok = false;
            break;
        }
        // Both buffers have room for a whole token: one fixed-size copy.
        std::memcpy(writeBuffer + fill, unit, LZ_MAX_TOKEN_OUTPUT);
        fill += length;
        done += length;
        written += length;
    }
    const DWORD taken = static_cast<DWORD>(in - start);
    m_readPos += taken;
    m_event.nBodyRead += taken;
    m_event.nDone = done;
    m_event.nEntryWritten = written;
    m_writeFill = fill;
    if (!ok) {
        // With the token's bytes at hand, only a bad reference can stop it.
        Fail(EXTRACT_ERROR_TRUNCATED);
        return false;
    }
    return true;
}

bool PayloadExtractor::IsFinished() const
{
    return m_phase == Phase::Files && !m_bEntryOpen && m_nextEntry == m_nEntries;
}

int PayloadExtractor::ReadByte()
{
    if (m_readPos == m_readEnd) {
        DWORD got = 0;
        if (!ReadFile(m_archive.Get(), m_readBuffer.get(), READ_BUFFER_SIZE, &got, nullptr)) {
            m_dwReadError = GetLastError();
            m_bReadFailed = true;
            return LZ_SOURCE_ERROR;
        }
        m_readPos = 0;
        m_readEnd = got;
        if (got == 0)
            return LZ_SOURCE_END;
    }
    ++m_event.nBodyRead;
    return m_readBuffer[m_readPos++];
}

bool PayloadExtractor::ProduceUnit(unsigned char* buffer, const unsigned char*& unit, unsigned& length)
{
    length = 0;
    unit = buffer;
    if (!m_bStored) {
        LzStatus status;
        if (m_readEnd - m_readPos >= LZ_MAX_TOKEN_INPUT) {
            // The whole token is in the read buffer.
            const unsigned char* in = m_readBuffer.get() + m_readPos;
            status = m_decoder->DecodeUnitFrom(in, unit, length);
            const DWORD taken = static_cast<DWORD>(in - (m_readBuffer.get() + m_readPos));
            m_readPos += taken;
            m_event.nBodyRead += taken;
        } else {
            auto source = [this] { return ReadByte(); };
            status = m_decoder->DecodeUnit(source, unit, length);
        }
        switch (status) {
        case LzStatus::Ok:
            return true;
        case LzStatus::SourceError:
            Fail(EXTRACT_ERROR_SYSTEM, m_dwReadError);
            return false;
        case LzStatus::Truncated:
        case LzStatus::BadReference:
            Fail(EXTRACT_ERROR_TRUNCATED);
            return false;
        }
        return false;
    }
    // Stored bytes: up to 32 at a time, never past the end of the content.
    const uint32_t left = m_event.nTotal - m_event.nDone;
    const unsigned want = static_cast<unsigned>(std::min<uint32_t>(STORED_UNIT, left));
    while (length < want) {
        if (m_readPos == m_readEnd) {
            DWORD got = 0;
            if (!ReadFile(m_archive.Get(), m_readBuffer.get(), READ_BUFFER_SIZE, &got, nullptr)) {
                Fail(EXTRACT_ERROR_SYSTEM, GetLastError());
                return false;
            }
            m_readPos = 0;
            m_readEnd = got;
            if (got == 0)
                break;
        }
        const unsigned n = static_cast<unsigned>(std::min<DWORD>(want - length, m_readEnd - m_readPos));
        std::memcpy(buffer + length, m_readBuffer.get() + m_readPos, n);
        m_readPos += n;
        m_event.nBodyRead += n;
        length += n;
    }
    if (length == 0) {
        Fail(EXTRACT_ERROR_TRUNCATED);
        return false;
    }
    return true;
}

bool PayloadExtractor::Consume(const unsigned char* unit, unsigned length)
{
    unsigned i = 0;
    while (i < length) {
        if (m_phase == Phase::DirectorySize) {
            while (i < length && m_directoryHeld < DIRECTORY_HEADER_SIZE)
                m_directory.push_back(unit[i++]);
            m_directoryHeld = static_cast<uint32_t>(m_directory.size());
            if (m_directoryHeld < DIRECTORY_HEADER_SIZE)
                continue;
            m_directorySize = ReadLE32(m_directory.data());
            if (!IsValidDirectorySize(m_directorySize)) {
                Fail(EXTRACT_ERROR_TRUNCATED);
                return false;
            }
            // The directory grows with the bytes that arrive: a size field of gigabytes in a short archive
            // costs nothing before the archive runs out.
            m_phase = Phase::Directory;
            if (m_directoryHeld == m_directorySize && !FinishDirectory())
                return false;
        } else if (m_phase == Phase::Directory) {
            const unsigned n = std::min<unsigned>(length - i, m_directorySize - m_directoryHeld);
            m_directory.insert(m_directory.end(), unit + i, unit + i + n);
            m_directoryHeld += n;
            i += n;
            if (m_directoryHeld == m_directorySize && !FinishDirectory())
                return false;
        } else {
            if (!m_bEntryOpen) {
                if (m_nextEntry == m_nEntries)
                    return true;  // bytes past the last entry carry nothing
                if (!OpenEntry())
                    return false;
            }
            const unsigned n = std::min<unsigned>(length - i, m_event.nEntrySize - m_event.nEntryWritten);
            if (!m_bSkipping && n > 0 && !WriteOutput(unit + i, n))
                return false;
            m_event.nEntryWritten += n;
            i += n;
            if (m_event.nEntryWritten == m_event.nEntrySize && !CompleteEntry())
                return false;
        }
    }
    return true;
}

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

bool PayloadExtractor::AfterUnit()
{
    if (m_phase != Phase::Files || m_bEntryOpen)
        return true;
    if (m_event.nDone < m_event.nTotal) {
        // The stored section begins with the first file kept uncompressed. Empty entries carry no bytes in
        // either section, so the next entry with content decides.
        for (size_t k = m_nextEntry; k < m_nEntries; ++k) {
            const unsigned char* entry = Entry(k);
            if (ReadLE32(entry + ENTRY_OFFSET_SIZE) == 0)
                continue;
            if (entry[ENTRY_OFFSET_COMPRESSED] == 0)
                m_bStored = true;
            break;
        }
        return true;
    }
    // All content is produced: the entries left are empty ones.
    while (m_nextEntry < m_nEntries) {
        if (!OpenEntry())
            return false;
        if (m_event.nEntrySize != 0) {
            Fail(EXTRACT_ERROR_TRUNCATED);
            return false;
        }
        if (!CompleteEntry())
            return false;
    }
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
// Each folder that passed is held open without delete sharing until the extraction ends (opened once, not
// again for every entry in it), so that nobody can rename it and put a link in its place meanwhile. Called
// again once the entry's folders exist.
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

bool PayloadExtractor::WriteOutput(const unsigned char* data, size_t size)
{
    while (size > 0) {
        const size_t n = std::min(size, WRITE_BUFFER_SIZE - m_writeFill);
        CopyUnit(m_writeBuffer.get() + m_writeFill, data, n);
        m_writeFill += n;
        data += n;
        size -= n;
        if (m_writeFill == WRITE_BUFFER_SIZE && !FlushOutput())
            return false;
    }
    return true;
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
