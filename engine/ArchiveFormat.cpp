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

const char* DestinationNameProblem(const std::string& component)
{
    if (component.empty() || component == "." || component == "..")
        return nullptr;
    if (component.back() == '.')
        return "ends in a dot, which Windows drops";
    if (component.back() == ' ')
        return "ends in a blank, which Windows drops";
    // Windows matches device names on the part before the first dot, trailing blanks ignored.
    std::string base = component.substr(0, component.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    const auto digit = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b >= '1' && b <= '9') || b == 0xB9 || b == 0xB2 || b == 0xB3;
    };
    const bool device = base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" ||
                        (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
                         digit(base[3]));
    return device ? "is a device name on Windows" : nullptr;
}
