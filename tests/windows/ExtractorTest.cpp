// The payload extractor against real files under Wine.
#include "Hash33.h"
#include "PayloadExtractor.h"
#include "TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <sstream>

namespace {

struct Recorder {
    std::vector<std::string> events;       // "NAME done"
    std::vector<ExtractEvent> records;
    std::vector<std::string> paths;  // pszPath copied: it points into the extractor's directory, freed at the end
    std::function<int(const ExtractEvent&)> answer;

    static int Callback(ExtractEvent* event)
    {
        auto* self = static_cast<Recorder*>(event->pUser);
        const char* name = GetExtractEventName(event->nCode);
        self->events.push_back(std::string(name ? name : "?") + " " + std::to_string(event->nDone));
        self->records.push_back(*event);
        self->paths.push_back(event->pszPath ? event->pszPath : "");
        return self->answer ? self->answer(*event) : EXTRACT_CONTINUE;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const std::string& e : events)
            names.push_back(e.substr(0, e.find(' ')));
        return names;
    }
};

// The form of the temporary names GetTempFileNameA makes with the prefix "qu": up to four hex digits.
bool IsTemporaryName(const std::string& name)
{
    if (name.size() < 7 || name.size() > 10 || name.compare(0, 2, "qu") != 0 ||
        lstrcmpiA(name.c_str() + name.size() - 4, ".tmp") != 0)
        return false;
    return name.find_first_not_of("0123456789abcdefABCDEF", 2) == name.size() - 4;
}

// The error the system's own replacement in one step gives for target: MoveFileExA of a new file onto it.
DWORD MoveErrorOnto(const std::string& target)
{
    const std::string probe = target.substr(0, target.rfind('\\')) + "\\move-probe.bin";
    if (!WriteFileBytes(probe, "probe"))
        return ~DWORD(0);
    const DWORD error =
        MoveFileExA(probe.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? NO_ERROR : GetLastError();
    DeleteFileA(probe.c_str());
    return error;
}

class Extractor : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = FreshFolder(std::string("extract_") + info->name());
        m_install = m_folder + "\\Install";
    }
    void TearDown() override { RemoveTree(m_folder); }

    std::string Archive(const std::string& bytes)
    {
        const std::string path = m_folder + "\\payload.bin";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    bool Run(const std::string& archive)
    {
        m_extractor.SetInstallFolder(m_install);
        m_extractor.SetCallback(&Recorder::Callback, &m_recorder);
        return m_extractor.Extract(archive.c_str());
    }

    std::string m_folder;
    std::string m_install;
    PayloadExtractor m_extractor;
    Recorder m_recorder;
};

TEST_F(Extractor, BadArchiveChecksumFailsBeforeAnyFileIsTouched)
{
    std::string archive = BuildArchive({{"<InstallPath>\\a.txt", "new"}});
    archive[0] ^= 1;
    CreateDirectoryA(m_install.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\a.txt", "old"));
    EXPECT_FALSE(Run(Archive(archive)));
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_CHECKSUM);
    EXPECT_EQ(m_recorder.Names(), (std::vector<std::string>{"EXTRACT_BEGIN", "EXTRACT_FAILED"}));
    EXPECT_EQ(ReadFileBytes(m_install + "\\a.txt"), "old");

    for (const std::string& tiny : {std::string(), std::string("\x01\x02\x03", 3)}) {
        PayloadExtractor extractor;
        EXPECT_FALSE(extractor.Extract(Archive(tiny).c_str()));
        EXPECT_EQ(extractor.GetErrorKind(), EXTRACT_ERROR_CHECKSUM) << tiny.size() << " bytes";
    }
}

TEST_F(Extractor, MissingArchiveIsASystemError)
{
    EXPECT_FALSE(Run(m_folder + "\\missing.bin"));
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_SYSTEM);
    EXPECT_EQ(m_extractor.GetSystemError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Extractor, EventSequenceAndCounters)
{
    const std::string a = "hello", c(300, 'c');
    const std::string archive = BuildArchive({{"<InstallPath>\\a.txt", a, true, 1},
                                              {"<InstallPath>\\sub\\b.txt", "", true, 2},
                                              {"<InstallPath>\\c.txt", c, true, 4}});
    ASSERT_TRUE(Run(Archive(archive)));
    // Directory 4 + 3 * 273 = 823 bytes; a literal token carries one byte.
    const std::vector<std::string> expected = {
        "EXTRACT_BEGIN 0",      "EXTRACT_ARCHIVE_OK 0", "EXTRACT_PROGRESS 256",  "EXTRACT_PROGRESS 512",
        "EXTRACT_PROGRESS 768", "EXTRACT_FILE_BEGIN 824", "EXTRACT_PROGRESS 824", "EXTRACT_PROGRESS 828",
        "EXTRACT_FILE_END 828", "EXTRACT_FILE_BEGIN 829", "EXTRACT_PROGRESS 829", "EXTRACT_PROGRESS 829",
        "EXTRACT_FILE_END 829", "EXTRACT_FILE_BEGIN 829", "EXTRACT_PROGRESS 829", "EXTRACT_PROGRESS 1085",
        "EXTRACT_PROGRESS 1128", "EXTRACT_FILE_END 1128", "EXTRACT_VERIFY 1128",  "EXTRACT_END 1128",
    };
    EXPECT_EQ(m_recorder.events, expected);

    const auto& r = m_recorder.records;
    ASSERT_EQ(r.size(), expected.size());
    EXPECT_EQ(r[0].nTotal, 0u);
    EXPECT_EQ(r[5].nTotal, 1128u);
    EXPECT_EQ(m_recorder.paths[5], m_install + "\\a.txt");
    EXPECT_EQ(r[5].nKind, 1);
    EXPECT_EQ(r[5].nEntrySize, 5u);
    EXPECT_EQ(r[8].nEntryWritten, 5u);
    EXPECT_EQ(r[9].nKind, 2);
    EXPECT_EQ(r[13].nKind, 4);
    EXPECT_EQ(r[17].nEntrySize, 300u);
    EXPECT_EQ(r[17].nEntryWritten, 300u);
    EXPECT_EQ(r[18].pszPath, nullptr);
    EXPECT_EQ(r[18].nKind, 0);
    // Nine bits per byte of content.
    EXPECT_EQ(r.back().nBodyRead, (1128u * 9 + 7) / 8);
    EXPECT_EQ(r.back().nBodyRead, archive.size() - 4);
    EXPECT_EQ(r[17].nEntryBodyRead, (1128u * 9 + 7) / 8 - r[13].nBodyRead);
    for (const ExtractEvent& e : r) {
        EXPECT_EQ(e.pExtractor, &m_extractor);
        EXPECT_EQ(e.pUser, &m_recorder);
    }

    EXPECT_EQ(ReadFileBytes(m_install + "\\a.txt"), a);
    EXPECT_TRUE(FileExists(m_install + "\\sub\\b.txt"));
    EXPECT_EQ(ReadFileBytes(m_install + "\\sub\\b.txt"), "");
    EXPECT_EQ(ReadFileBytes(m_install + "\\c.txt"), c);
    EXPECT_TRUE(TempFilesIn(m_install).empty());
}

TEST_F(Extractor, StoredSectionAfterCompressedFiles)
{
    std::string big(70000, '\0');
    for (size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<char>(k * 7 + k / 300);
    const std::vector<TestFile> files = {
        {"<InstallPath>\\packed.txt", std::string(100, 'p')},
        // An empty entry flagged compressed does not keep the extractor in the compressed section.
        {"<InstallPath>\\emptyc", "", true},
        {"<InstallPath>\\empty1", "", false},
        {"<InstallPath>\\stored1.bin", std::string(45, 's'), false},
        {"<InstallPath>\\big.bin", big, false},
        {"<InstallPath>\\empty2", "", false},
    };
    const std::string archive = BuildArchive(files);
    m_recorder.answer = [](const ExtractEvent& e) {
        // Stored units are at most 32 bytes and never run past the content.
        EXPECT_LE(e.nDone, e.nTotal == 0 ? e.nDone : e.nTotal);
        return EXTRACT_CONTINUE;
    };
    ASSERT_TRUE(Run(Archive(archive)));
    for (const TestFile& f : files) {
        const std::string path = m_install + f.path.substr(13);
        EXPECT_EQ(ReadFileBytes(path), f.content) << path;
    }
    EXPECT_EQ(m_recorder.records.back().nBodyRead, archive.size() - 4);
}

TEST_F(Extractor, EmptyEntriesOnlyAndEmptyDirectory)
{
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<InstallPath>\\e1", ""}, {"<InstallPath>\\e2", "", false}}))));
    EXPECT_TRUE(FileExists(m_install + "\\e1"));
    EXPECT_TRUE(FileExists(m_install + "\\e2"));
    EXPECT_EQ(m_recorder.Names().size(), 2u + 2u + 2 * 4 + 2u);  // two progress events in the directory

    PayloadExtractor none;
    EXPECT_TRUE(none.Extract(Archive(BuildArchive({})).c_str()));
}

TEST_F(Extractor, TruncatedCompressedSectionRemovesWhatWasWritten)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    const std::string archive =
        BuildArchive({{"<InstallPath>\\first.txt", std::string(50, '1')}, {"<InstallPath>\\second.txt", std::string(500, '2')}});
    const std::string cut = WithChecksum(archive.substr(0, archive.size() - 200));
    m_extractor.SetCallback(&Recorder::Callback, &m_recorder);
    EXPECT_FALSE(Run(Archive(cut)));
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_TRUNCATED);
    EXPECT_EQ(m_recorder.Names().back(), "EXTRACT_FAILED");
    EXPECT_FALSE(FileExists(m_install + "\\first.txt"));
    EXPECT_FALSE(FileExists(m_install + "\\second.txt"));
    EXPECT_TRUE(ListFiles(m_install).empty()) << ListFiles(m_install).front();
}

TEST_F(Extractor, ReadOnlyDestinationIsReplaced)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    const std::string target = m_install + "\\ro.txt";
    ASSERT_TRUE(WriteFileBytes(target, "old contents"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<InstallPath>\\ro.txt", "new"}}))));
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"ro.txt"});
}

TEST_F(Extractor, DestinationHeldOpenByAnotherProcessFailsTheRename)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    const std::string target = m_install + "\\held.dll";
    ASSERT_TRUE(WriteFileBytes(target, "in use"));
    HeldFile held(QU_HOLD_FILE, target);
    ASSERT_TRUE(held.IsHeld());

    const bool ok = Run(Archive(BuildArchive({{"<InstallPath>\\other.txt", "x"}, {"<InstallPath>\\held.dll", "new"}})));
    const DWORD heldMoveError = MoveErrorOnto(target);
    held.Release();

    EXPECT_FALSE(ok);
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_SYSTEM);
    const DWORD code = m_extractor.GetSystemError();
    EXPECT_TRUE(code == ERROR_ALREADY_EXISTS || code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) << code;
    // The code is the one MoveFileExA gives when it replaces the held file.
    EXPECT_EQ(code, heldMoveError);
    EXPECT_FALSE(FileExists(m_install + "\\other.txt"));
    EXPECT_TRUE(TempFilesIn(m_install).empty());
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"held.dll"});
    EXPECT_EQ(ReadFileBytes(target), "in use");
}

// Destinations the extractor cannot replace or create fail with the system's own codes for them, and leave
// neither a temporary file nor anything else behind.
TEST_F(Extractor, DeniedDestinationsFailWithTheSystemsCodeAndLeaveNothing)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    // A folder where the file should go: it can be neither deleted as a file nor replaced.
    const std::string folder = m_install + "\\taken.txt";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + "\\inside.txt", "kept"));
    const DWORD folderError = MoveErrorOnto(folder);
    // A file where a folder of the path should be: no folder, no temporary file, no file can be made there.
    const std::string blocker = m_install + "\\blocker";
    ASSERT_TRUE(WriteFileBytes(blocker, "a file"));
    HANDLE probe = CreateFileA((blocker + "\\x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD blockedError = probe == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    ASSERT_NE(blockedError, static_cast<DWORD>(NO_ERROR));

    const struct {
        const char* path;
        DWORD expected;
    } cases[] = {{"<InstallPath>\\taken.txt", folderError}, {"<InstallPath>\\blocker\\x.txt", blockedError}};
    for (const auto& c : cases) {
        PayloadExtractor extractor;
        extractor.SetInstallFolder(m_install);
        const std::string archive = Archive(BuildArchive({{"<InstallPath>\\first.txt", "1"}, {c.path, "new"}}));
        EXPECT_FALSE(extractor.Extract(archive.c_str())) << c.path;
        EXPECT_EQ(extractor.GetErrorKind(), EXTRACT_ERROR_SYSTEM) << c.path;
        EXPECT_EQ(extractor.GetSystemError(), c.expected) << c.path;
        EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"blocker"}) << c.path;
        EXPECT_EQ(ListFiles(folder), std::vector<std::string>{"inside.txt"});
        EXPECT_EQ(ReadFileBytes(blocker), "a file");
    }
}

TEST_F(Extractor, WritesThroughATemporaryNameUnlessTheFolderIsTooDeep)
{
    // A folder path of more than 246 characters leaves no room for a temporary name.
    std::string deep = m_install;
    while (deep.size() < 230)
        deep += "\\abcdefgh";
    deep += "\\" + std::string(246 - deep.size(), 'x');
    const std::string content(2000, 'd');
    std::vector<std::vector<std::string>> seen;  // the folder's files while each entry is being written
    std::string last;
    m_recorder.answer = [&](const ExtractEvent& e) {
        if (e.nCode == EXTRACT_PROGRESS && e.pszPath && e.nEntryWritten > 0 && e.nEntryWritten < e.nEntrySize &&
            last != e.pszPath) {
            last = e.pszPath;
            seen.push_back(ListFiles(last.substr(0, last.rfind('\\'))));
        }
        return EXTRACT_CONTINUE;
    };
    const std::string deepFile = deep + "\\f.txt";
    ASSERT_LT(deepFile.size(), 260u);
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<InstallPath>\\n.txt", content}, {deepFile, content}}))));
    ASSERT_EQ(deep.size(), 247u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(TempFilesIn(m_install).empty());
    ASSERT_EQ(seen[0].size(), 1u);
    EXPECT_TRUE(IsTemporaryName(seen[0][0])) << seen[0][0];
    EXPECT_EQ(seen[1], std::vector<std::string>{"f.txt"});
    EXPECT_EQ(ReadFileBytes(deepFile), content);
    EXPECT_EQ(ReadFileBytes(m_install + "\\n.txt"), content);
}

TEST_F(Extractor, SkippingEveryEntryWritesNothing)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\keep.txt", "kept"));
    m_recorder.answer = [](const ExtractEvent& e) { return e.nCode == EXTRACT_FILE_BEGIN ? EXTRACT_SKIP : EXTRACT_CONTINUE; };
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<InstallPath>\\keep.txt", "new"}, {"<InstallPath>\\new.txt", "n", false}}))));
    EXPECT_EQ(ReadFileBytes(m_install + "\\keep.txt"), "kept");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"keep.txt"});
    const auto names = m_recorder.Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "EXTRACT_FILE_END"), 0);
    EXPECT_EQ(names.back(), "EXTRACT_END");
}

TEST_F(Extractor, CallbackStopFailsWithKind5AndRemovesWrittenFiles)
{
    m_recorder.answer = [](const ExtractEvent& e) {
        return e.nCode == EXTRACT_FILE_BEGIN && std::string(e.pszPath).find("two") != std::string::npos ? EXTRACT_STOP
                                                                                                           : EXTRACT_CONTINUE;
    };
    EXPECT_FALSE(Run(Archive(BuildArchive({{"<InstallPath>\\one.txt", "1"}, {"<InstallPath>\\two.txt", "2"}}))));
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_CANCELLED);
    EXPECT_FALSE(FileExists(m_install + "\\one.txt"));
    EXPECT_FALSE(FileExists(m_install + "\\two.txt"));
    EXPECT_EQ(m_recorder.Names().back(), "EXTRACT_FAILED");
}

TEST_F(Extractor, WrongFileChecksumFailsVerificationAndRemovesTheFiles)
{
    TestFile bad{"<InstallPath>\\bad.txt", "bad"};
    bad.checksumDelta = 1;
    TestFile unverified{"<InstallPath>\\free.txt", "free"};
    unverified.verified = false;
    EXPECT_FALSE(Run(Archive(BuildArchive({{"<InstallPath>\\good.txt", "good"}, unverified, bad}))));
    EXPECT_EQ(m_extractor.GetErrorKind(), EXTRACT_ERROR_VERIFY);
    const auto names = m_recorder.Names();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "EXTRACT_VERIFY");
    EXPECT_TRUE(ListFiles(m_install).empty());
}

UINT g_dispatched = 0;

LRESULT CALLBACK DispatchCounter(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP + 7)
        ++g_dispatched;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

TEST_F(Extractor, PendingWindowMessagesAreDispatchedWhileItWorks)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DispatchCounter;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuExtractPump";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("QuExtractPump", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(hWnd);
    g_dispatched = 0;
    PostMessageA(hWnd, WM_APP + 7, 0, 0);
    UINT atFirstFile = 0;
    m_recorder.answer = [&](const ExtractEvent& e) {
        if (e.nCode == EXTRACT_FILE_BEGIN && atFirstFile == 0)
            atFirstFile = g_dispatched + 1;
        return EXTRACT_CONTINUE;
    };
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<InstallPath>\\a.txt", "a"}}))));
    EXPECT_EQ(atFirstFile, 2u);  // dispatched before the first file began
    DestroyWindow(hWnd);
}

TEST_F(Extractor, SamplesFolderAndPlaceholdersInPaths)
{
    m_extractor.SetSamplesFolder(" " + m_folder + "\\Samples\\ ");
    ASSERT_TRUE(Run(Archive(BuildArchive({{"<SamplePath>\\s.dat", "sample", true, 4}}))));
    EXPECT_EQ(ReadFileBytes(m_folder + "\\Samples\\s.dat"), "sample");
    EXPECT_EQ(m_extractor.GetSamplesFolder(), m_folder + "\\Samples");
}

#ifdef QU_PAYLOAD_FILE
// An archive of the product's files extracts byte for byte as its manifest lists them.
void ExpectRoundTrip(PayloadExtractor& extractor, Recorder& recorder, const std::string& folder,
                     const std::string& archive)
{
    const std::string manifest = WinPath(QU_PAYLOAD_MANIFEST);
    const std::string sourceFolder = manifest.substr(0, manifest.rfind('\\'));
    const std::string samples = folder + "\\Samples";
    extractor.SetSamplesFolder(samples);
    recorder.answer = [](const ExtractEvent& e) {
        // Files outside the test folder (shared data under <CommonData>) are left alone.
        if (e.nCode == EXTRACT_FILE_BEGIN && std::string(e.pszPath).find(TestRoot()) == std::string::npos)
            return EXTRACT_SKIP;
        return EXTRACT_CONTINUE;
    };
    extractor.SetInstallFolder(folder + "\\Install");
    extractor.SetCallback(&Recorder::Callback, &recorder);
    ASSERT_TRUE(extractor.Extract(archive.c_str())) << extractor.GetErrorKind();

    std::istringstream lines(ReadFileBytes(manifest));
    std::string line;
    int compared = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        ASSERT_TRUE(fields.size() == 4 || (fields.size() == 5 && fields[4] == "sign")) << line;
        std::string destination = extractor.ExpandPlaceholders(fields[2]);
        if (destination.find(TestRoot()) == std::string::npos)
            continue;
        std::string source = fields[3];
        std::replace(source.begin(), source.end(), '/', '\\');
        std::string from = sourceFolder;
#ifdef QU_SIGNED_DIR
        // A signed build packs the signed copy: it must come out with its signature intact.
        if (fields.size() == 5)
            from = WinPath(QU_SIGNED_DIR);
#endif
        EXPECT_EQ(ReadFileBytes(destination), ReadFileBytes(from + "\\" + source)) << destination;
        ++compared;
    }
    EXPECT_GT(compared, 3);
}

TEST_F(Extractor, PayloadWrittenByMkpayloadExtractsByteForByte)
{
    ExpectRoundTrip(m_extractor, m_recorder, m_folder, WinPath(QU_PAYLOAD_FILE));
}

TEST_F(Extractor, PayloadWrittenByTheReferenceWriterExtractsByteForByte)
{
    ExpectRoundTrip(m_extractor, m_recorder, m_folder, WinPath(QU_REFERENCE_PAYLOAD_FILE));
}
#endif

}  // namespace
