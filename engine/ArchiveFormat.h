// The payload archive format: layout constants and the directory entry record.
//
//   archive   = checksum (4, Hash33 of every following byte) + compressed section + stored section
//   content   = directory + the contents of every file, in directory order
//   directory = size D (4, including itself) + (D - 4) / 273 entries
// All integers are little-endian. The compressed section holds the directory and every file whose
// storage flag is set (those come first); the stored section holds the other files as plain bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Resource that carries the archive inside the installer.
constexpr unsigned PAYLOAD_RESOURCE_TYPE = 260;
constexpr unsigned PAYLOAD_RESOURCE_NAME = 134;

constexpr size_t ARCHIVE_CHECKSUM_SIZE = 4;
constexpr size_t DIRECTORY_HEADER_SIZE = 4;
constexpr size_t DIRECTORY_ENTRY_SIZE = 273;
constexpr size_t DIRECTORY_PATH_SIZE = 260;  // zero-terminated, so at most 259 characters

// Offsets inside one directory entry.
constexpr size_t ENTRY_OFFSET_SIZE = 0;
constexpr size_t ENTRY_OFFSET_CHECKSUM = 4;
constexpr size_t ENTRY_OFFSET_PATH = 8;
constexpr size_t ENTRY_OFFSET_COMPRESSED = 268;
constexpr size_t ENTRY_OFFSET_KIND = 269;

// Entry kinds; the extractor only passes them on, the install sequence gives them meaning.
enum PayloadKind : int32_t {
    KIND_ORDINARY = 0,
    KIND_MAIN_PROGRAM = 1,
    KIND_UNINSTALLER = 2,
    KIND_SHARED_DATA = 3,
    KIND_SAMPLE = 4,
};

struct DirectoryEntry {
    uint32_t size = 0;
    uint32_t checksum = 0;  // 0 = not verified
    std::string path;       // destination, ANSI code page, may hold placeholders; < 260 bytes
    bool compressed = false;
    int32_t kind = KIND_ORDINARY;
};

inline uint32_t ReadLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void WriteLE32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// True when D is a valid directory size: 4 plus a whole number of entries.
inline bool IsValidDirectorySize(uint32_t d)
{
    return d >= DIRECTORY_HEADER_SIZE && (d - DIRECTORY_HEADER_SIZE) % DIRECTORY_ENTRY_SIZE == 0;
}

inline size_t DirectoryEntryCount(uint32_t d) { return (d - DIRECTORY_HEADER_SIZE) / DIRECTORY_ENTRY_SIZE; }

// Encodes one entry into its 273 bytes (the path is cut to 259 bytes and zero-filled).
void EncodeDirectoryEntry(const DirectoryEntry& entry, unsigned char* out);

// Decodes one entry from its 273 bytes; a path without a terminating zero is cut at 260 bytes.
DirectoryEntry DecodeDirectoryEntry(const unsigned char* in);

// Serialises a whole directory (size field included).
std::vector<unsigned char> EncodeDirectory(const std::vector<DirectoryEntry>& entries);

// Parses a whole directory; false when the size field is invalid or does not match the buffer.
bool DecodeDirectory(const unsigned char* data, size_t size, std::vector<DirectoryEntry>& entries);

// Why Windows cannot keep a file under this one component of a destination path (code page 1252); nullptr when
// it can. Refused: a name ending in a dot or a blank (Windows drops them, so "a.txt." and "a.txt " are "a.txt")
// and the device names CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, the last two also with the superscript
// digits 0xB9 0xB2 0xB3, in any case, alone or before an extension ("nul.txt", "Com1.tar.gz", "aux .log").
// COM0 and LPT0 are ordinary names. "." and ".." are no names and are left to the caller.
const char* DestinationNameProblem(const std::string& component);
