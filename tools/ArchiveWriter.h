// Builds payload archives.
//
// Entry order: every compressed entry first, then every stored one, each group in manifest order (the
// extractor switches from the compressed to the stored section once and never back). Zero-length files are
// always stored: a zero-length entry flagged compressed after the last compressed byte would make the
// extractor decode the stored section as tokens. The directory and the compressed files form one content
// stream, encoded as a whole, so matches cross file boundaries.
#pragma once

#include "LzEncoder.h"
#include "Manifest.h"

#include <filesystem>
#include <string>
#include <vector>

struct ArchiveBuildStats {
    size_t entries = 0;
    size_t compressedEntries = 0;
    uint64_t contentBytes = 0;       // directory + compressed files
    uint64_t compressedSection = 0;  // bytes
    uint64_t storedSection = 0;
    uint64_t archiveSize = 0;
    LzEncodeStats coder;
};

// True when the file goes into the compressed section (auto: when encoding it alone makes it smaller).
bool ShouldCompress(const PayloadFile& file, unsigned threads = 1);

// Builds the whole archive in memory; false with a message when it cannot be represented. The coder runs on
// threads threads; the archive is the same for every count.
bool BuildArchive(const std::vector<PayloadFile>& files, std::vector<unsigned char>& archive, std::string& error,
                  ArchiveBuildStats* stats = nullptr, unsigned threads = 1);

// Writes bytes to a temporary file next to path and renames it over path at the end; on any failure the
// temporary file is removed and path is left as it was.
bool WriteFileReplacing(const std::filesystem::path& path, const std::vector<unsigned char>& bytes,
                        std::string& error);
