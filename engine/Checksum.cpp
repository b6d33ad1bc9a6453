#include "Checksum.h"

#include "ArchiveFormat.h"
#include "ErrorReport.h"
#include "Handles.h"
#include "Hash33.h"

#include <memory>

namespace {

void ReportLastError(bool report)
{
    if (report)
        ReportSystemError(GetLastError(), "%s", 0);
}

}  // namespace

uint32_t ChecksumOpenFile(HANDLE file, bool report, bool wholeFile)
{
    SetLastError(NO_ERROR);
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        ReportLastError(report);
        return 0;
    }
    DWORD got = 0;
    if (!wholeFile) {
        unsigned char head[ARCHIVE_CHECKSUM_SIZE];
        if (!ReadFile(file, head, sizeof head, &got, nullptr)) {
            ReportLastError(report);
            return 0;
        }
        if (got != sizeof head)
            return 0;
    }
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[CHECKSUM_BLOCK_SIZE]);
    if (!block)
        return 0;
    uint32_t value = 0;
    do {
        if (!ReadFile(file, block.get(), CHECKSUM_BLOCK_SIZE, &got, nullptr)) {
            ReportLastError(report);
            return 0;
        }
        value = Hash33Update(value, block.get(), got);
    } while (got == CHECKSUM_BLOCK_SIZE);
    return Hash33Finish(value);
}

uint32_t ComputeFileChecksum(const char* path, bool report, bool wholeFile)
{
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ReportLastError(report);
        return 0;
    }
    return ChecksumOpenFile(file.Get(), report, wholeFile);
}

bool VerifyFileChecksum(const char* path, bool report)
{
    const uint32_t computed = ComputeFileChecksum(path, report, false);
    if (computed == 0)
        return false;
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file) {
        ReportLastError(report);
        return false;
    }
    unsigned char head[ARCHIVE_CHECKSUM_SIZE];
    DWORD got = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr)) {
        ReportLastError(report);
        return false;
    }
    return got == sizeof head && ReadLE32(head) == computed;
}
