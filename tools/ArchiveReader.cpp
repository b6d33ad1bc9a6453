#include "ArchiveReader.h"

#include "CodePage1252.h"
#include "Hash33.h"
#include "LzBufferDecoder.h"
#include "Manifest.h"

#include <algorithm>
#include <cstdio>

namespace {

// More entries than any installer carries: the size field is garbage.
constexpr size_t MAX_ENTRIES = 1000000;

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string EntryName(size_t index, const DirectoryEntry& entry)
{
    return "entry " + std::to_string(index + 1) + " (" + entry.path + ")";
}

// Describes a decoding failure of the compressed section.
std::string CoderFailure(LzStatus status, const LzBufferDecoder& decoder, const char* what)
{
    const std::string where = " while decoding " + std::string(what) + " at content byte " +
                              std::to_string(decoder.Produced()) + " (section byte " +
                              std::to_string(decoder.BitsConsumed() / 8) + ")";
    switch (status) {
    case LzStatus::Truncated: return "truncated token: the compressed section ends inside a token" + where;
    case LzStatus::BadReference: return "reference outside the window" + where;
    default: return "decoding failed" + where;
    }
}

}  // namespace

ArchiveReport ReadArchive(const unsigned char* data, size_t size)
{
    ArchiveReport report;
    auto error = [&](const std::string& message) { report.errors.push_back(message); };
    if (size < ARCHIVE_CHECKSUM_SIZE) {
        error("file shorter than 4 bytes (" + std::to_string(size) + "): no archive checksum");
        return report;
    }
    const uint32_t stored = ReadLE32(data);
    const uint32_t computed = Hash33(data + ARCHIVE_CHECKSUM_SIZE, size - ARCHIVE_CHECKSUM_SIZE);
    if (stored != computed)
        error("bad archive checksum: stored " + Hex32(stored) + ", computed " + Hex32(computed));

    const unsigned char* body = data + ARCHIVE_CHECKSUM_SIZE;
    const size_t bodySize = size - ARCHIVE_CHECKSUM_SIZE;
    LzBufferDecoder decoder(body, bodySize);

    LzStatus status = decoder.DecodeTo(DIRECTORY_HEADER_SIZE);
    if (status != LzStatus::Ok) {
        error(CoderFailure(status, decoder, "the directory size"));
        return report;
    }
    const uint32_t d = ReadLE32(decoder.Output().data());
    if (d < DIRECTORY_HEADER_SIZE || (d - DIRECTORY_HEADER_SIZE) % DIRECTORY_ENTRY_SIZE != 0) {
        error("invalid directory size " + std::to_string(d) + " (must be 4 + 273 x entries)");
        return report;
    }
    if (DirectoryEntryCount(d) > MAX_ENTRIES) {
        error("invalid directory size " + std::to_string(d) + ": absurdly large (" +
              std::to_string(DirectoryEntryCount(d)) + " entries)");
        return report;
    }
    status = decoder.DecodeTo(d);
    if (status != LzStatus::Ok) {
        error(CoderFailure(status, decoder, "the directory"));
        return report;
    }
    const unsigned char* directory = decoder.Output().data();
    const size_t count = DirectoryEntryCount(d);
    uint64_t compressedTotal = d, storedTotal = 0;
    size_t lastNonEmptyCompressed = 0;  // index + 1
    bool seenStored = false;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* raw = directory + DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
        const DirectoryEntry entry = DecodeDirectoryEntry(raw);
        const std::string name = EntryName(i, entry);
        bool terminated = false;
        for (size_t k = 0; k < DIRECTORY_PATH_SIZE && !terminated; ++k)
            terminated = raw[ENTRY_OFFSET_PATH + k] == 0;
        if (!terminated)
            error(name + ": path without terminating zero");
        if (entry.kind < KIND_ORDINARY || entry.kind > KIND_SAMPLE)
            error(name + ": unknown kind " + std::to_string(entry.kind));
        bool named = true;
        for (size_t start = 0; start <= entry.path.size() && named;) {
            const size_t end = std::min(entry.path.find('\\', start), entry.path.size());
            const std::string component = entry.path.substr(start, end - start);
            if (const char* problem = DestinationNameProblem(component)) {
                error(name + ": '" + component + "' " + problem);
                named = false;
            }
            start = end + 1;
        }
        // The rules of the manifest: a known placeholder first, then names only (no "..", no empty, absolute
        // or relative path), since the extractor writes wherever the expanded destination points.
        std::string destinationError;
        if (terminated && named && !CheckDestination(entry.path, destinationError))
            error(name + ": " + destinationError);
        if (entry.compressed) {
            if (seenStored)
                error(name + ": compressed entry after a stored one (compressed entries must come first)");
            compressedTotal += entry.size;
            if (entry.size != 0)
                lastNonEmptyCompressed = i + 1;
        } else {
            seenStored = true;
            storedTotal += entry.size;
        }
        report.entries.push_back(entry);
    }
    // A zero-length compressed entry after the last compressed byte keeps the extractor in compressed
    // mode, so it would decode the stored section as tokens.
    if (storedTotal != 0) {
        for (size_t i = lastNonEmptyCompressed; i < count; ++i)
            if (report.entries[i].compressed && report.entries[i].size == 0)
                error(EntryName(i, report.entries[i]) +
                      ": zero-length entry flagged compressed after the last compressed byte");
    }
    status = decoder.DecodeTo(compressedTotal);
    if (status != LzStatus::Ok) {
        error(CoderFailure(status, decoder, "the compressed files"));
        return report;
    }
    if (decoder.Produced() != compressedTotal) {
        error("the last token produces " + std::to_string(decoder.Produced() - compressedTotal) +
              " bytes beyond the compressed content");
        return report;
    }
    if (decoder.PaddingBits() != 0)
        report.warnings.push_back("nonzero padding bits at the end of the compressed section");

    const size_t storedStart = decoder.BytesConsumed();
    const uint64_t storedAvailable = bodySize - storedStart;
    if (storedAvailable < storedTotal) {
        error("stored section truncated: " + std::to_string(storedAvailable) + " bytes for " +
              std::to_string(storedTotal) + " bytes of stored entries");
        return report;
    }
    if (storedAvailable > storedTotal)
        error(std::to_string(storedAvailable - storedTotal) + " trailing bytes after the stored section");

    const std::vector<unsigned char>& content = decoder.Output();
    size_t compressedAt = d, storedAt = storedStart;
    for (size_t i = 0; i < count; ++i) {
        const DirectoryEntry& entry = report.entries[i];
        const unsigned char* begin;
        if (entry.compressed) {
            begin = content.data() + compressedAt;
            compressedAt += entry.size;
        } else {
            begin = body + storedAt;
            storedAt += entry.size;
        }
        report.files.emplace_back(begin, begin + entry.size);
        if (entry.checksum != 0) {
            const uint32_t sum = Hash33(begin, entry.size);
            if (sum != entry.checksum)
                error(EntryName(i, entry) + ": file checksum mismatch (directory " + Hex32(entry.checksum) +
                      ", contents " + Hex32(sum) + ")");
        }
    }
    report.contentsComplete = true;
    return report;
}

bool ExtractionPath(const std::string& destination, std::string& relative, std::string& error)
{
    relative.clear();
    size_t start = 0;
    while (true) {
        const size_t end = destination.find('\\', start);
        const std::string component = destination.substr(start, end == std::string::npos ? end : end - start);
        if (component.empty() || component == "." || component == "..") {
            error = "path '" + destination + "' has an empty, '.' or '..' component";
            return false;
        }
        for (char c : component) {
            if (c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) {
                error = "path '" + destination + "' holds a '/', ':' or control character";
                return false;
            }
        }
        std::string converted;
        if (!Cp1252ToUtf8(component, converted)) {
            error = "path '" + destination + "' holds a byte the Windows code page 1252 leaves unassigned";
            return false;
        }
        relative += (relative.empty() ? "" : "/") + converted;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}
