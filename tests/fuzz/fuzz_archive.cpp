// Fuzzes the archive reader past its checksum: the input is the archive body and the checksum in front of
// it is made to match, so every input reaches the directory and the sections. Whatever the reader accepts
// must hold consistent files, map to extraction paths inside the target folder, and survive a rebuild.
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Hash33.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A relative path from ExtractionPath must stay below the folder it is joined to.
bool StaysInside(const std::string& relative)
{
    if (relative.empty() || relative[0] == '/')
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = relative.find('/', start);
        const std::string part = relative.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos ||
            part.find(':') != std::string::npos)
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> archive(ARCHIVE_CHECKSUM_SIZE + size);
    if (size != 0)
        std::memcpy(archive.data() + ARCHIVE_CHECKSUM_SIZE, data, size);
    WriteLE32(archive.data(), Hash33(data, size));
    const ArchiveReport report = ReadArchive(archive);

    if (report.contentsComplete != (report.files.size() == report.entries.size() && report.contentsComplete))
        std::abort();
    if (!report.Valid())
        return 0;
    if (!report.contentsComplete || report.files.size() != report.entries.size())
        std::abort();
    std::vector<PayloadFile> files;
    for (size_t i = 0; i < report.entries.size(); ++i) {
        const DirectoryEntry& entry = report.entries[i];
        if (report.files[i].size() != entry.size || entry.path.size() >= DIRECTORY_PATH_SIZE ||
            (entry.checksum != 0 && Hash33(report.files[i].data(), entry.size) != entry.checksum))
            std::abort();
        std::string relative, error;
        if (ExtractionPath(entry.path, relative, error) && !StaysInside(relative))
            std::abort();
        PayloadFile file;
        file.entry.kind = entry.kind;
        file.entry.storage = entry.compressed ? Storage::Compress : Storage::Store;
        file.entry.destination = entry.path;
        file.data = report.files[i];
        files.push_back(file);
    }
    // The writer must take back whatever the reader accepted, and the new archive must read the same.
    std::vector<unsigned char> rebuilt;
    std::string error;
    if (!BuildArchive(files, rebuilt, error))
        return 0;  // e.g. a path the writer refuses; the reader may be more lenient
    const ArchiveReport again = ReadArchive(rebuilt);
    if (!again.Valid() || again.files.size() != files.size())
        std::abort();
    return 0;
}
