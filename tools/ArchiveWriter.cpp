#include "ArchiveWriter.h"

#include "ArchiveFormat.h"
#include "Hash33.h"
#include "ParallelEncoder.h"

#include <fstream>

bool ShouldCompress(const PayloadFile& file, unsigned threads)
{
    if (file.data.empty())
        return false;
    switch (file.entry.storage) {
    case Storage::Compress: return true;
    case Storage::Store: return false;
    case Storage::Auto: break;
    }
    return LzEncodeParallel(file.data, threads).size() < file.data.size();
}

bool BuildArchive(const std::vector<PayloadFile>& files, std::vector<unsigned char>& archive, std::string& error,
                  ArchiveBuildStats* stats, unsigned threads)
{
    std::vector<bool> compress(files.size());
    std::vector<size_t> order;
    for (size_t i = 0; i < files.size(); ++i)
        compress[i] = ShouldCompress(files[i], threads);
    for (int group = 1; group >= 0; --group)
        for (size_t i = 0; i < files.size(); ++i)
            if (compress[i] == (group == 1))
                order.push_back(i);

    // The extractor counts the content stream in 32 bits.
    uint64_t total = DIRECTORY_HEADER_SIZE + uint64_t(DIRECTORY_ENTRY_SIZE) * files.size();
    for (const PayloadFile& file : files)
        total += file.data.size();
    if (total > 0xFFFFFFFFu) {
        error = "the payload holds 4 GiB or more";
        return false;
    }

    std::vector<DirectoryEntry> directory;
    for (size_t i : order) {
        DirectoryEntry entry;
        entry.size = static_cast<uint32_t>(files[i].data.size());
        entry.checksum = Hash33(files[i].data.data(), files[i].data.size());
        entry.path = files[i].entry.destination;
        entry.compressed = compress[i];
        entry.kind = files[i].entry.kind;
        if (entry.path.size() >= DIRECTORY_PATH_SIZE) {
            error = "destination too long: " + entry.path;
            return false;
        }
        directory.push_back(entry);
    }
    std::vector<unsigned char> content = EncodeDirectory(directory);
    content.reserve(content.size() + total);  // one allocation: growing it copies and faults in pages again
    for (size_t i : order)
        if (compress[i])
            content.insert(content.end(), files[i].data.begin(), files[i].data.end());

    ArchiveBuildStats counted;
    const std::vector<unsigned char> section = LzEncodeParallel(content, threads, &counted.coder);
    archive.assign(ARCHIVE_CHECKSUM_SIZE, 0);
    archive.insert(archive.end(), section.begin(), section.end());
    for (size_t i : order)
        if (!compress[i])
            archive.insert(archive.end(), files[i].data.begin(), files[i].data.end());
    WriteLE32(archive.data(), Hash33(archive.data() + ARCHIVE_CHECKSUM_SIZE, archive.size() - ARCHIVE_CHECKSUM_SIZE));

    if (stats) {
        counted.entries = files.size();
        for (bool c : compress)
            counted.compressedEntries += c ? 1 : 0;
        counted.contentBytes = content.size();
        counted.compressedSection = section.size();
        counted.archiveSize = archive.size();
        counted.storedSection = archive.size() - section.size() - ARCHIVE_CHECKSUM_SIZE;
        *stats = counted;
    }
    return true;
}

bool WriteFileReplacing(const std::filesystem::path& path, const std::vector<unsigned char>& bytes,
                        std::string& error)
{
    namespace fs = std::filesystem;
    // A name that nothing holds yet: an existing file (or a link) of that name is neither lost nor followed.
    fs::path temporary;
    for (int n = 0;; ++n) {
        temporary = path;
        temporary += n == 0 ? std::string(".partial") : ".partial" + std::to_string(n);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(temporary, ec)) || n == 1000)
            break;
    }
    bool written;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        written = out.is_open();
        if (written) {
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            out.close();
            written = !out.fail();
        }
    }
    std::error_code ec;
    if (!written) {
        error = "cannot write " + temporary.u8string();
        fs::remove(temporary, ec);
        return false;
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot rename " + temporary.u8string() + " to " + path.u8string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}
