// The payload manifest: which files go into the archive, where they are installed and how they are stored.
//
// UTF-8 text, one entry per line, four fields separated by TAB characters, and an optional fifth:
//   KIND  STORAGE  DESTINATION  SOURCE  [sign]
//   KIND         0 ordinary file, 1 main program, 2 uninstaller, 3 shared data file, 4 sample file
//   STORAGE      compress, store, or auto (compress unless that does not make the file smaller)
//   DESTINATION  a leading placeholder, then backslash-separated components: <InstallPath>\Lang\x.dll
//   SOURCE       the file to pack, relative to the manifest's folder, with forward slashes
//   sign         the program is signed before packing when the build signs (ignored otherwise)
// Blank lines and lines starting with # are ignored; CRLF line ends and a UTF-8 byte order mark are accepted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum class Storage { Compress, Store, Auto };

struct ManifestEntry {
    int32_t kind = 0;
    Storage storage = Storage::Auto;
    std::string destination;  // converted to code page 1252
    std::string source;       // as written (UTF-8, forward slashes)
    bool sign = false;        // marked "sign": packed from the signed copy when the build signs
    unsigned line = 0;
};

// A manifest entry with the bytes of its source.
struct PayloadFile {
    ManifestEntry entry;
    std::vector<unsigned char> data;
};

// The known destination placeholders.
const std::vector<std::string>& KnownPlaceholders();

// Checks a destination already in code page 1252; false with a message when the archive cannot carry it.
bool CheckDestination(const std::string& destination, std::string& error);

// Parses manifest text without touching any file. Every problem is added to errors as "NAME:LINE: message";
// true when there is none.
bool ParseManifestText(const std::string& text, const std::string& name, std::vector<ManifestEntry>& entries,
                       std::vector<std::string>& errors);

// Reads a manifest file and every source it names (relative to the manifest's folder). With signedFolder,
// the sources marked "sign" are read from there instead (signedFolder / SOURCE: the signed copies).
bool LoadManifest(const std::filesystem::path& manifest, std::vector<PayloadFile>& files,
                  std::vector<std::string>& errors, const std::filesystem::path& signedFolder = {});
