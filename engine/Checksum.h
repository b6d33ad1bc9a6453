// Hash33 checksums of files. With report set, a failing system call is shown with ReportSystemError.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD CHECKSUM_BLOCK_SIZE = 64 * 1024;

// Hash33 of an open file from its start, or with wholeFile clear of everything after its first 4 bytes
// (which must exist). 0 on failure.
uint32_t ChecksumOpenFile(HANDLE file, bool report, bool wholeFile);

// Opens path for reading and returns ChecksumOpenFile of it; 0 when it cannot be opened or read.
uint32_t ComputeFileChecksum(const char* path, bool report, bool wholeFile);

// True when the file's first 4 bytes (little-endian) equal the Hash33 of the rest of it.
bool VerifyFileChecksum(const char* path, bool report);
