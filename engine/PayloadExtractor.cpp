#include "PayloadExtractor.h"
#include "PayloadExtractorParts.h"

#include "ArchiveFormat.h"
#include "Checksum.h"
#include "LzDecoder.h"
#include "LzFormat.h"
#include "MessagePump.h"
#include "PlaceholderExpansion.h"
#include "Placeholders.h"
#include "PlatformUtils.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

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

