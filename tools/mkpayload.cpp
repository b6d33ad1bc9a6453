// mkpayload: builds, lists, verifies and extracts payload archives.
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "CodePage1252.h"
#include "Manifest.h"
#include "ParallelEncoder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int Usage()
{
    std::fputs("usage: mkpayload build MANIFEST -o ARCHIVE [--threads N] [--signed DIR]\n"
               "       mkpayload signlist MANIFEST\n"
               "       mkpayload list ARCHIVE\n"
               "       mkpayload verify ARCHIVE\n"
               "       mkpayload extract ARCHIVE DIR\n",
               stderr);
    return EXIT_USAGE;
}

bool ReadWholeFile(const fs::path& path, std::vector<unsigned char>& data)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string Printable(const std::string& ansi)
{
    std::string utf8;
    return Cp1252ToUtf8(ansi, utf8) ? utf8 : ansi;
}

void PrintProblems(const ArchiveReport& report)
{
    for (const std::string& message : report.errors)
        std::fprintf(stderr, "error: %s\n", Printable(message).c_str());
    for (const std::string& message : report.warnings)
        std::fprintf(stderr, "warning: %s\n", message.c_str());
}

int Build(const fs::path& manifest, const fs::path& output, unsigned threads, const fs::path& signedFolder)
{
    std::vector<PayloadFile> files;
    std::vector<std::string> errors;
    std::vector<unsigned char> archive;
    std::string error;
    ArchiveBuildStats stats;
    if (!LoadManifest(manifest, files, errors, signedFolder)) {
        for (const std::string& message : errors)
            std::fprintf(stderr, "%s\n", message.c_str());
        return EXIT_FAILED;
    }
    if (!BuildArchive(files, archive, error, &stats, threads) || !WriteFileReplacing(output, archive, error)) {
        std::fprintf(stderr, "mkpayload: %s\n", error.c_str());
        return EXIT_FAILED;
    }
    std::printf("%zu entries (%zu compressed), content %llu bytes, archive %llu bytes\n", stats.entries,
                stats.compressedEntries, static_cast<unsigned long long>(stats.contentBytes),
                static_cast<unsigned long long>(stats.archiveSize));
    return EXIT_OK;
}

bool Load(const fs::path& path, ArchiveReport& report)
{
    std::vector<unsigned char> data;
    if (!ReadWholeFile(path, data)) {
        std::fprintf(stderr, "mkpayload: cannot read %s (missing, not a file or unreadable)\n", path.u8string().c_str());
        return false;
    }
    report = ReadArchive(data);
    return true;
}

int List(const fs::path& path)
{
    ArchiveReport report;
    if (!Load(path, report))
        return EXIT_FAILED;
    for (const DirectoryEntry& entry : report.entries)
        std::printf("%d %-8s %10u %08X %s\n", static_cast<int>(entry.kind), entry.compressed ? "compress" : "store",
                    static_cast<unsigned>(entry.size), static_cast<unsigned>(entry.checksum),
                    Printable(entry.path).c_str());
    PrintProblems(report);
    return report.Valid() ? EXIT_OK : EXIT_FAILED;
}

int Verify(const fs::path& path)
{
    ArchiveReport report;
    if (!Load(path, report))
        return EXIT_FAILED;
    PrintProblems(report);
    if (!report.Valid())
        return EXIT_FAILED;
    std::printf("OK\n");
    return EXIT_OK;
}

// What one extraction made, so that a failed one leaves the folder as it was: the files it created and the
// folders it made, each in order. Replaced files are complete new files, never partly written ones.
class ExtractionUndo {
public:
    ~ExtractionUndo()
    {
        if (m_dismissed)
            return;
        std::error_code ec;
        for (auto it = m_files.rbegin(); it != m_files.rend(); ++it)
            fs::remove(*it, ec);
        for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it)
            fs::remove(*it, ec);  // only when empty
    }
    void AddFile(const fs::path& path) { m_files.push_back(path); }
    void AddFolder(const fs::path& path) { m_folders.push_back(path); }
    void Dismiss() { m_dismissed = true; }

private:
    std::vector<fs::path> m_files, m_folders;
    bool m_dismissed = false;
};

// Why the relative path cannot be written below folder without leaving it: an existing component that is a
// symbolic link (which would lead the write elsewhere). Empty when none.
std::string LinkOnTheWay(const fs::path& folder, const fs::path& relative)
{
    fs::path current = folder;
    for (const fs::path& part : relative) {
        current /= part;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(current, ec);
        if (fs::is_symlink(status))
            return current.u8string() + " is a symbolic link: the archive's files stay below " + folder.u8string();
        if (!fs::exists(status))
            break;
    }
    return std::string();
}

// Creates the folders of the target one by one, recording each one made.
bool MakeFolders(const fs::path& folder, const fs::path& relative, ExtractionUndo& undo, std::string& error)
{
    fs::path current = folder;
    const fs::path parent = relative.parent_path();
    for (const fs::path& part : parent) {
        current /= part;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(current, ec);
        if (fs::is_directory(status))
            continue;
        if (fs::exists(status) || !fs::create_directory(current, ec) || ec) {
            error = current.u8string() + " is not a folder and cannot be made one";
            return false;
        }
        undo.AddFolder(current);
    }
    return true;
}

int Extract(const fs::path& path, const fs::path& folder)
{
    ArchiveReport report;
    if (!Load(path, report))
        return EXIT_FAILED;
    PrintProblems(report);
    if (!report.Valid() || !report.contentsComplete)
        return EXIT_FAILED;
    // Map and check every path before writing anything, so a bad one leaves the folder untouched.
    std::vector<fs::path> relatives;
    for (const DirectoryEntry& entry : report.entries) {
        std::string relative, error;
        if (!ExtractionPath(entry.path, relative, error)) {
            std::fprintf(stderr, "error: %s\n", Printable(error).c_str());
            return EXIT_FAILED;
        }
        relatives.push_back(fs::u8path(relative));
        const std::string link = LinkOnTheWay(folder, relatives.back());
        if (!link.empty()) {
            std::fprintf(stderr, "error: %s\n", link.c_str());
            return EXIT_FAILED;
        }
    }
    ExtractionUndo undo;
    // DIR itself and the folders above it that do not exist yet.
    std::vector<fs::path> missing;
    for (fs::path up = fs::absolute(folder); !up.empty() && !fs::exists(up); up = up.parent_path())
        missing.push_back(up);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code ec;
        if (!fs::create_directory(*it, ec) || ec) {
            std::fprintf(stderr, "mkpayload: cannot make the folder %s\n", it->u8string().c_str());
            return EXIT_FAILED;
        }
        undo.AddFolder(*it);
    }
    for (size_t i = 0; i < relatives.size(); ++i) {
        const fs::path target = folder / relatives[i];
        std::error_code ec;
        const bool existed = fs::exists(fs::symlink_status(target, ec));
        std::string error;
        if (!MakeFolders(folder, relatives[i], undo, error) || !WriteFileReplacing(target, report.files[i], error)) {
            std::fprintf(stderr, "mkpayload: cannot write %s: %s; the files and folders this run made were removed again\n", target.u8string().c_str(),
                         error.c_str());
            return EXIT_FAILED;
        }
        if (!existed)
            undo.AddFile(target);
    }
    undo.Dismiss();
    std::printf("%zu files extracted\n", relatives.size());
    return EXIT_OK;
}

}  // namespace

// The sources marked "sign", one a line, for the build's signing step.
int SignList(const fs::path& manifest)
{
    std::vector<PayloadFile> files;
    std::vector<std::string> errors;
    if (!LoadManifest(manifest, files, errors)) {
        for (const std::string& message : errors)
            std::fprintf(stderr, "%s\n", message.c_str());
        return EXIT_FAILED;
    }
    for (const PayloadFile& file : files)
        if (file.entry.sign)
            std::printf("%s\n", file.entry.source.c_str());
    return EXIT_OK;
}

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() >= 4 && args.size() % 2 == 0 && args[0] == "build" && args[2] == "-o") {
            unsigned threads = DefaultThreadCount();
            fs::path signedFolder;
            for (size_t i = 4; i < args.size(); i += 2) {
                const std::string& value = args[i + 1];
                // The archive is the same whatever the thread count; it only changes the time taken.
                if (args[i] == "--threads" && !value.empty() && value.size() <= 3 &&
                    value.find_first_not_of("0123456789") == std::string::npos && std::stoi(value) >= 1)
                    threads = static_cast<unsigned>(std::stoi(value));
                else if (args[i] == "--signed" && !value.empty())
                    signedFolder = fs::u8path(value);
                else
                    return Usage();
            }
            return Build(fs::u8path(args[1]), fs::u8path(args[3]), threads, signedFolder);
        }
        if (args.size() == 2 && args[0] == "signlist")
            return SignList(fs::u8path(args[1]));
        if (args.size() == 2 && args[0] == "list")
            return List(fs::u8path(args[1]));
        if (args.size() == 2 && args[0] == "verify")
            return Verify(fs::u8path(args[1]));
        if (args.size() == 3 && args[0] == "extract")
            return Extract(fs::u8path(args[1]), fs::u8path(args[2]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkpayload: %s\n", e.what());
        return EXIT_FAILED;
    }
    return Usage();
}
