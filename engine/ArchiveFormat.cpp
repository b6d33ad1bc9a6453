#include "ArchiveFormat.h"

#include <cstring>

void EncodeDirectoryEntry(const DirectoryEntry& entry, unsigned char* out)
{
    std::memset(out, 0, DIRECTORY_ENTRY_SIZE);
    WriteLE32(out + ENTRY_OFFSET_SIZE, entry.size);
    WriteLE32(out + ENTRY_OFFSET_CHECKSUM, entry.checksum);
    const size_t n = entry.path.size() < DIRECTORY_PATH_SIZE ? entry.path.size() : DIRECTORY_PATH_SIZE - 1;
    std::memcpy(out + ENTRY_OFFSET_PATH, entry.path.data(), n);
    out[ENTRY_OFFSET_COMPRESSED] = entry.compressed ? 1 : 0;
    WriteLE32(out + ENTRY_OFFSET_KIND, static_cast<uint32_t>(entry.kind));
}

DirectoryEntry DecodeDirectoryEntry(const unsigned char* in)
{
    DirectoryEntry entry;
    entry.size = ReadLE32(in + ENTRY_OFFSET_SIZE);
    entry.checksum = ReadLE32(in + ENTRY_OFFSET_CHECKSUM);
    const char* path = reinterpret_cast<const char*>(in + ENTRY_OFFSET_PATH);
    const void* zero = std::memchr(path, 0, DIRECTORY_PATH_SIZE);
    entry.path.assign(path, zero ? static_cast<const char*>(zero) - path : DIRECTORY_PATH_SIZE);
    entry.compressed = in[ENTRY_OFFSET_COMPRESSED] != 0;
    entry.kind = static_cast<int32_t>(ReadLE32(in + ENTRY_OFFSET_KIND));
    return entry;
}

std::vector<unsigned char> EncodeDirectory(const std::vector<DirectoryEntry>& entries)
{
    std::vector<unsigned char> out(DIRECTORY_HEADER_SIZE + DIRECTORY_ENTRY_SIZE * entries.size());
    WriteLE32(out.data(), static_cast<uint32_t>(out.size()));
    for (size_t i = 0; i < entries.size(); ++i)
        EncodeDirectoryEntry(entries[i], out.data() + DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE);
    return out;
}

bool DecodeDirectory(const unsigned char* data, size_t size, std::vector<DirectoryEntry>& entries)
{
    entries.clear();
    if (size < DIRECTORY_HEADER_SIZE)
        return false;
    const uint32_t d = ReadLE32(data);
    if (!IsValidDirectorySize(d) || d != size)
        return false;
    const size_t count = DirectoryEntryCount(d);
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i)
        entries.push_back(DecodeDirectoryEntry(data + DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE));
    return true;
}
