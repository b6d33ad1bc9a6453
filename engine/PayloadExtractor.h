// The payload extractor: verifies the archive, decodes its directory and files, writes every file through a
// temporary name into place, verifies the written files, and reports each step to a callback.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class LzDecoder;
class PayloadExtractor;

// Event codes. Progress has the top bit clear, every other event has it set.
constexpr uint32_t EXTRACT_PROGRESS = 0x00000001u;
constexpr uint32_t EXTRACT_BEGIN = 0x80010000u;
constexpr uint32_t EXTRACT_ARCHIVE_OK = 0x80020000u;
constexpr uint32_t EXTRACT_END = 0x80030000u;
constexpr uint32_t EXTRACT_FILE_BEGIN = 0x80040000u;
constexpr uint32_t EXTRACT_FILE_END = 0x80050000u;
constexpr uint32_t EXTRACT_VERIFY = 0x80060000u;
constexpr uint32_t EXTRACT_FAILED = 0x80070000u;

// Callback answers.
constexpr int EXTRACT_CONTINUE = 0;
constexpr int EXTRACT_STOP = 1;  // the extraction fails with EXTRACT_ERROR_CANCELLED
constexpr int EXTRACT_SKIP = 2;  // to EXTRACT_FILE_BEGIN: read and drop the entry, keep the existing file
// To EXTRACT_FILE_BEGIN: the entry cannot be written safely (its old file could not be backed up); the
// extraction fails with EXTRACT_ERROR_SYSTEM and the event's dwError before anything is written.
constexpr int EXTRACT_FAIL = 3;

// Error kinds.
constexpr int EXTRACT_ERROR_NONE = 0;
constexpr int EXTRACT_ERROR_SYSTEM = 1;     // a system call failed; GetSystemError() holds its code
constexpr int EXTRACT_ERROR_VERIFY = 3;     // a written file does not match its checksum
constexpr int EXTRACT_ERROR_CHECKSUM = 4;   // the archive's checksum does not match, or it cannot be checked
constexpr int EXTRACT_ERROR_CANCELLED = 5;  // the callback answered EXTRACT_STOP
constexpr int EXTRACT_ERROR_TRUNCATED = 6;  // the archive ended inside a field (or its content is malformed)

// The record passed to the callback; the extractor updates it in place.
struct ExtractEvent {
    uint32_t nCode;
    uint32_t nTotal;          // content stream length: directory plus every file; 0 until the directory is read
    uint32_t nDone;           // content bytes produced so far
    uint32_t nBodyRead;       // archive body bytes consumed so far
    uint32_t nEntrySize;      // size of the current entry
    uint32_t nEntryWritten;   // bytes of the current entry handled so far
    uint32_t nEntryBodyRead;  // archive body bytes consumed since the current entry began
    const char* pszPath;      // expanded destination of the current entry; null between entries
    int nKind;                // entry kind of the current entry; 0 between entries
    PayloadExtractor* pExtractor;
    void* pUser;
    DWORD dwError;            // set by a callback that answers EXTRACT_FAIL
};

typedef int (*ExtractCallback)(ExtractEvent* pEvent);

// Writes of extracted files go through this call; tests replace it to fail part-way (a full disk). Null:
// WriteFile.
using ExtractWriteCall = BOOL(WINAPI*)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED);
ExtractWriteCall& ExtractorWriteCall();

// Where an extraction spends its time, in QueryPerformanceCounter ticks; filled only when asked for
// (benchmarks). The loop covers decoding, writing and the file calls; decoding is the loop without the rest.
struct ExtractTimings {
    int64_t nChecksum = 0;   // the archive checksum pass
    int64_t nLoop = 0;       // decoding the content stream, with the file calls and writes below
    int64_t nFileCalls = 0;  // preparing, creating, sizing, closing and renaming output files
    int64_t nWrites = 0;     // writing the output buffers
    int64_t nVerify = 0;     // verifying every written file
    uint32_t nFiles = 0;     // files written
};

// "EXTRACT_BEGIN" ... for an event code; null for an unknown code.
const char* GetExtractEventName(uint32_t code);

class PayloadExtractor {
public:
    PayloadExtractor();
    ~PayloadExtractor();
    PayloadExtractor(const PayloadExtractor&) = delete;
    PayloadExtractor& operator=(const PayloadExtractor&) = delete;

    // Values of <InstallPath> and <SamplePath>: trimmed, without a trailing backslash.
    void SetInstallFolder(const std::string& folder);
    void SetSamplesFolder(const std::string& folder);
    const std::string& GetInstallFolder() const { return m_strInstallFolder; }
    const std::string& GetSamplesFolder() const { return m_strSamplesFolder; }

    // The callback may be null: every answer then counts as EXTRACT_CONTINUE.
    void SetCallback(ExtractCallback pfnCallback, void* pUser);

    // Measures the phases of the next extractions into timings (null: not measured).
    void SetTimings(ExtractTimings* pTimings) { m_pTimings = pTimings; }

    // Extracts the archive file. After a false result GetErrorKind and GetSystemError tell why; every file
    // written by this run has been removed again.
    bool Extract(const char* pszArchive);

    int GetErrorKind() const { return m_nErrorKind; }
    DWORD GetSystemError() const { return m_dwSystemError; }

    // A destination path with its placeholders replaced by this extractor's folders and the machine's.
    std::string ExpandPlaceholders(const std::string& path) const;

private:
    enum class Phase { DirectorySize, Directory, Files };

    bool Run(const char* pszArchive);
    void HandleFailure();
    void Fail(int kind, DWORD systemError = 0);
    int Send(uint32_t code);
    bool SendChecked(uint32_t code);
    bool SendProgress();

    int ReadByte();
    bool ProduceUnit(unsigned char* buffer, const unsigned char*& unit, unsigned& length);
    bool DecodeWithinEntry();
    bool CreateOutput(const char* destination);
    bool RenameOutput(const char* destination);
    bool Consume(const unsigned char* unit, unsigned length);
    bool FinishDirectory();
    bool AfterUnit();
    bool OpenEntry();
    bool RefuseReparsePoints(size_t index);
    void ReleaseFolders();
    bool WriteOutput(const unsigned char* data, size_t size);
    bool FlushOutput();
    bool CompleteEntry();
    bool VerifyFiles();
    void DiscardOutput();
    unsigned char* Entry(size_t index);
    bool IsFinished() const;

    std::string m_strInstallFolder;
    std::string m_strSamplesFolder;
    int m_nErrorKind = EXTRACT_ERROR_NONE;
    DWORD m_dwSystemError = 0;
    std::vector<unsigned char> m_directory;
    FileHandle m_archive;
    std::unique_ptr<unsigned char[]> m_readBuffer;
    ExtractEvent m_event = {};
    ExtractCallback m_pfnCallback = nullptr;
    void* m_pUser = nullptr;

    // Archive reader.
    uint64_t m_archiveBodySize = 0;  // bytes after the checksum field
    DWORD m_readPos = 0;
    DWORD m_readEnd = 0;
    bool m_bReadFailed = false;
    DWORD m_dwReadError = 0;

    // Content stream.
    std::unique_ptr<LzDecoder> m_decoder;
    bool m_bStored = false;
    Phase m_phase = Phase::DirectorySize;
    uint32_t m_progressMark = 0;
    uint32_t m_directorySize = 0;
    uint32_t m_directoryHeld = 0;
    size_t m_nEntries = 0;
    size_t m_nextEntry = 0;
    std::vector<unsigned char> m_opened;  // per entry: opened for writing (not skipped)
    std::vector<size_t> m_checkFrom;      // per entry: length of its placeholder's folder in the path, or 0
    std::vector<std::string> m_createdFolders;  // folders this run made, outermost first
    std::vector<FileHandle> m_heldFolders;      // the checked folders, held until the extraction ends
    std::set<std::string> m_heldFolderNames;

    // The entry being written.
    bool m_bEntryOpen = false;
    bool m_bSkipping = false;
    uint32_t m_entryBodyBase = 0;
    FileHandle m_output;
    std::string m_outputName;  // empty once the file is in place
    bool m_bOutputIsTemp = false;
    std::unique_ptr<unsigned char[]> m_writeBuffer;
    size_t m_writeFill = 0;
    bool m_bRenameByHandle = false;  // the output was opened with delete access and can be renamed through it

    ExtractTimings* m_pTimings = nullptr;
};
