// payload-extract.exe on hostile archives: random bytes, cuts at every boundary of the format, huge counts and
// sizes, destinations that climb out, are relative or absolute, or are 259 to 261 characters long once
// expanded. Each run must end with the expected error kind and message, and leave the destination folder and
// everything around it exactly as it was.
#include "ArchiveFormat.h"
#include "Handles.h"
#include "Hash33.h"
#include "TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct ExtractRun {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// Runs payload-extract.exe with its output in two files of the logs folder.
ExtractRun RunExtract(const std::string& logs, const std::string& archive, const std::string& install,
                      const std::string& samples)
{
    ExtractRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const std::string outPath = logs + "\\out.txt", errPath = logs + "\\err.txt";
    {
        FileHandle out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        FileHandle err(CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        const std::string exe = WinPath(QU_PAYLOAD_EXTRACT);
        std::string command = "\"" + exe + "\" \"" + archive + "\" \"" + install + "\" \"" + samples + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out.Get();
        si.hStdError = err.Get();
        PROCESS_INFORMATION pi = {};
        if (!out || !err ||
            !CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, logs.c_str(), &si, &pi))
            return run;
        KernelHandle process(pi.hProcess);
        KernelHandle thread(pi.hThread);
        if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.Get(), 99);
            return run;
        }
        GetExitCodeProcess(process.Get(), &run.exitCode);
    }
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    return run;
}

// An archive whose compressed section holds every content byte as a literal token (9 bits), so that content
// offset n ends at bit 9 n of the body; stored bytes follow. The checksum matches.
std::string LiteralArchive(const std::string& content, const std::string& stored = "")
{
    std::string body;
    unsigned acc = 0, bits = 0;
    for (unsigned char c : content) {
        acc = (acc << 9) | c;  // flag 0, then the byte
        bits += 9;
        while (bits >= 8) {
            bits -= 8;
            body += static_cast<char>(acc >> bits);
        }
        acc &= (1u << bits) - 1;
    }
    if (bits)
        body += static_cast<char>(acc << (8 - bits));
    return WithChecksum(std::string(4, '\0') + body + stored);
}

// Bytes of the archive body up to the end of content byte n (and the partial byte it shares).
size_t BodyBytesFor(size_t n) { return (9 * n) / 8; }

std::string Directory(const std::vector<TestFile>& files)
{
    std::vector<DirectoryEntry> entries;
    for (const TestFile& f : files) {
        DirectoryEntry e;
        e.size = static_cast<uint32_t>(f.content.size());
        e.checksum = Hash33(f.content.data(), f.content.size());
        e.path = f.path;
        e.compressed = f.compressed;
        e.kind = f.kind;
        entries.push_back(e);
    }
    const std::vector<unsigned char> directory = EncodeDirectory(entries);
    return std::string(directory.begin(), directory.end());
}

std::string Le32(uint32_t value)
{
    unsigned char b[4];
    WriteLE32(b, value);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string Random(size_t size, uint32_t seed)
{
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>(seed >> 24);
    }
    return bytes;
}

struct Case {
    std::string name;
    std::string archive;
    DWORD exitCode;
    std::string out;  // expected in the standard output ("error K:CODE")
    std::string err;  // expected in the error output
};

class HostileArchive : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = FreshFolder("hostile-archive");
        m_logs = m_root + "\\logs";
        m_dest = m_root + "\\dest";
        m_install = m_dest + "\\Install";
        m_samples = m_dest + "\\Samples";
        for (const std::string& folder : {m_logs, m_dest, m_install, m_root + "\\outside"})
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(m_install + "\\keep.txt", "the user's file"));
        ASSERT_TRUE(WriteFileBytes(m_dest + "\\neighbour.txt", "next to the destination"));
        m_archive = m_root + "\\archive.bin";
    }
    void TearDown() override { RemoveTree(m_root); }

    // Runs each case against the same destination: the tree around it must not change.
    void Check(const std::vector<Case>& cases, const std::string& install)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_TRUE(WriteFileBytes(m_archive, c.archive));
            const auto before = ListTree(m_root, {"logs"});
            const ExtractRun run = RunExtract(m_logs, m_archive, install, m_samples);
            EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
            EXPECT_EQ(ListTree(m_root, {"logs"}), before);
        }
    }

    std::string m_root, m_logs, m_dest, m_install, m_samples, m_archive;
};

const std::vector<TestFile> GOOD = {{"<InstallPath>\\a.txt", std::string(300, 'a')},
                                    {"<InstallPath>\\sub\\deeper\\b.bin", Random(256, 1)},
                                    {"<SamplePath>\\s.dat", "stored bytes", false},
                                    {"<InstallPath>\\new\\c.dat", "cc", false}};

TEST_F(HostileArchive, RandomCutAndHugeArchivesFailAndLeaveNothing)
{
    const std::string truncated = "the archive is truncated or malformed";
    const std::string checksum = "the archive checksum does not match";
    const std::string good = BuildArchive(GOOD);
    std::vector<Case> cases = {
        {"empty file", "", 4, "error 4:", checksum},
        {"three bytes", "\1\2\3", 4, "error 4:", checksum},
        {"checksum only", WithChecksum(std::string(4, '\0')), 6, "error 6:", truncated},
        {"random bytes", Random(4096, 7), 4, "error 4:", checksum},
        {"random body, checksum matches", WithChecksum(Random(4096, 8)), 6, "error 6:", truncated},
        {"good archive cut without a new checksum", good.substr(0, good.size() / 2), 4, "error 4:", checksum},
        {"good archive with one byte flipped", good.substr(0, 60) + char(good[60] ^ 0x10) + good.substr(61), 4,
         "error 4:", checksum},
    };
    // Cuts at every boundary of the content (checksum made to match), and one byte further.
    const std::string directory = Directory(GOOD);
    const std::string compressed = directory + GOOD[0].content + GOOD[1].content;
    const std::string whole = LiteralArchive(compressed, GOOD[2].content + GOOD[3].content);
    const size_t d = directory.size();
    const size_t section = (9 * compressed.size() + 7) / 8;
    for (size_t n : {size_t(2), size_t(4), 4 + DIRECTORY_ENTRY_SIZE, d - 1, d, d + 150, d + 300, d + 300 + 100}) {
        for (size_t extra : {0, 1}) {
            const size_t bytes = 4 + BodyBytesFor(n) + extra;
            cases.push_back({"cut at content byte " + std::to_string(n) + " +" + std::to_string(extra),
                             WithChecksum(whole.substr(0, bytes)), 6, "error 6:", truncated});
        }
    }
    cases.push_back({"cut at the end of the compressed section", WithChecksum(whole.substr(0, 4 + section)), 6,
                     "error 6:", truncated});
    cases.push_back({"cut inside the first stored file", WithChecksum(whole.substr(0, 4 + section + 5)), 6,
                     "error 6:", truncated});
    cases.push_back({"cut before the last stored byte", WithChecksum(whole.substr(0, whole.size() - 1)), 6,
                     "error 6:", truncated});

    // Huge counts and sizes.
    const std::string one = Directory({{"<InstallPath>\\x.txt", "xxxx"}});
    auto withSize = [&](uint32_t size) { return Le32(size) + one.substr(4) + "xxxx"; };
    cases.push_back({"directory size not 4 + 273 n", LiteralArchive(withSize(5)), 6, "error 6:", truncated});
    cases.push_back({"directory size 0xFFFFFFFF", LiteralArchive(withSize(0xFFFFFFFFu)), 6, "error 6:", truncated});
    cases.push_back({"directory of 15 million entries in a short archive",
                     LiteralArchive(withSize(4 + 273u * 15000000u)), 6, "error 6:", truncated});
    std::string bigEntry = Directory({{"<InstallPath>\\big.bin", ""}, {"<InstallPath>\\x.txt", "x"}});
    bigEntry.replace(4, 4, Le32(0xFFFFFFFFu));
    cases.push_back({"compressed entry of 4 GiB - 1 before a good one", LiteralArchive(bigEntry + "x"), 6, "error 6:",
                     truncated});
    std::string bigStored = Directory({{"<InstallPath>\\h1", "", false}, {"<InstallPath>\\h2", "", false}});
    bigStored.replace(4, 4, Le32(0x80000001u));
    bigStored.replace(4 + DIRECTORY_ENTRY_SIZE, 4, Le32(0x80000001u));
    cases.push_back({"stored entries summing past 4 GiB", LiteralArchive(bigStored, "abc"), 6, "error 6:", truncated});
    std::string manyBytes = Directory({{"<InstallPath>\\m.bin", "", false}});
    manyBytes.replace(4, 4, Le32(200000000u));
    cases.push_back({"stored entry far larger than the archive", LiteralArchive(manyBytes, "abc"), 6, "error 6:",
                     truncated});
    Check(cases, m_install);
}

TEST_F(HostileArchive, DestinationsOutsideTheFoldersFailBeforeTheirFileIsWritten)
{
    const std::string invalid = "error 1:000000A1";  // ERROR_BAD_PATHNAME
    const std::string outside = m_root + "\\outside\\evil.txt";
    std::vector<Case> cases;
    for (const std::string& destination :
         {std::string("<InstallPath>\\..\\..\\evil.txt"), std::string("<InstallPath>\\sub\\..\\..\\..\\evil.txt"),
          std::string("<InstallPath>\\a/../../evil.txt"), std::string("<InstallPath>\\.\\evil.txt"),
          std::string("..\\evil.txt"), std::string("evil.txt"), std::string("<Unknown>\\evil.txt"),
          std::string("<InstallPath>\\a.txt:stream"), std::string("<InstallPath>\\<Unknown>..\\evil.txt")}) {
        cases.push_back({destination, BuildArchive({GOOD[0], {destination, "evil"}}), 1, invalid, "payload-extract:"});
    }
    // An absolute destination is the extractor's to write (the installer's tests use them), but not below
    // any placeholder's folder: the tool stops before it and removes what it wrote.
    cases.push_back({"absolute destination", BuildArchive({GOOD[0], GOOD[1], {outside, "evil"}}), 5, "error 5:",
                     "lies outside the placeholders' folders"});
    Check(cases, m_install);
    EXPECT_FALSE(FileExists(m_root + "\\evil.txt"));
    EXPECT_FALSE(FileExists(outside));
}

TEST_F(HostileArchive, DestinationsOf260AndMoreCharactersFailAnd259Extracts)
{
    // A deep installation folder (a folder path must leave room for a file name) and names that make the
    // expanded destination 259, 260 and 261 characters long.
    std::string install = m_dest + "\\";
    install += std::string(200 - install.size(), 'F');
    ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr)) << install;
    auto named = [&](size_t length) { return "<InstallPath>\\" + std::string(length - install.size() - 1, 'n'); };
    std::vector<Case> cases;
    for (size_t length : {260, 261}) {
        cases.push_back({std::to_string(length) + " characters", BuildArchive({GOOD[0], {named(length), "long"}}), 1,
                         "error 1:000000CE", "payload-extract:"});  // ERROR_FILENAME_EXCED_RANGE
    }
    // A path without its terminating zero is cut at 260 characters by the reader: too long as well.
    std::string unterminated = Directory({{"<InstallPath>\\p", "p"}});
    unterminated.replace(4 + ENTRY_OFFSET_PATH, DIRECTORY_PATH_SIZE, "<InstallPath>\\" + std::string(246, 'p'));
    cases.push_back({"path without terminating zero", LiteralArchive(unterminated + "p"), 1, "error 1:000000CE",
                     "payload-extract:"});
    Check(cases, install);

    ASSERT_TRUE(WriteFileBytes(m_archive, BuildArchive({{named(259), "fits"}})));
    const ExtractRun run = RunExtract(m_logs, m_archive, install, m_samples);
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    const std::string file = install + "\\" + std::string(259 - install.size() - 1, 'n');
    EXPECT_EQ(ReadFileBytes(file), "fits");
    DeleteFileA(file.c_str());
}

}  // namespace
