// Reads and checks a payload archive in memory, reporting every violation of the format it finds.
#pragma once

#include "ArchiveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveReport {
    std::vector<DirectoryEntry> entries;
    std::vector<std::vector<unsigned char>> files;  // contents in directory order, when contentsComplete
    bool contentsComplete = false;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    bool Valid() const { return errors.empty(); }
};

ArchiveReport ReadArchive(const unsigned char* data, size_t size);

inline ArchiveReport ReadArchive(const std::vector<unsigned char>& archive)
{
    return ReadArchive(archive.data(), archive.size());
}

// Maps a destination path to a relative native path for extraction outside Windows: components split at
// backslashes, joined with '/', placeholders kept as folder names (<InstallPath>/Lang/x.dll), converted to
// UTF-8. False for paths that could leave the target folder (empty, "." or ".." components, '/' or ':').
bool ExtractionPath(const std::string& destination, std::string& relative, std::string& error);
