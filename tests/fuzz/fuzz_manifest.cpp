// Fuzzes the manifest parser (text only, no files): whatever it accepts must be a destination the archive
// can carry and extraction can map safely, and an archive of the accepted entries must verify.
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Manifest.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ManifestEntry> entries;
    std::vector<std::string> errors;
    const bool ok = ParseManifestText(text, "fuzz.txt", entries, errors);
    if (ok != errors.empty())
        std::abort();
    for (const std::string& e : errors)
        if (e.compare(0, 9, "fuzz.txt:") != 0)
            std::abort();
    std::vector<PayloadFile> files;
    for (const ManifestEntry& entry : entries) {
        std::string error, relative;
        if (entry.destination.size() >= DIRECTORY_PATH_SIZE || !CheckDestination(entry.destination, error) ||
            !ExtractionPath(entry.destination, relative, error))
            std::abort();
        PayloadFile file;
        file.entry = entry;
        file.data.assign(entry.source.begin(), entry.source.end());
        files.push_back(file);
    }
    std::vector<unsigned char> archive;
    std::string error;
    if (!BuildArchive(files, archive, error) || !ReadArchive(archive).Valid())
        std::abort();
    return 0;
}
