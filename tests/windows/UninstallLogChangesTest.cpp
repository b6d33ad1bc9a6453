// Recording changes in the uninstall log, undoing them on the real file system, and writing the log file.
#include "UninstallLog.h"

#include "Handles.h"
#include "PlatformUtils.h"
#include "Shortcut.h"
#include "TestSupport.h"
#include "UninstallLogTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<const LOG_RECORD*> NewRecords(const CUninstallLog& log)
{
    std::vector<const LOG_RECORD*> out;
    const LOG_RECORD* prev = nullptr;
    for (const LOG_RECORD* r = log.GetFirst(); r; prev = r, r = r->pNext) {
        EXPECT_EQ(r->pPrev, prev);
        out.push_back(r);
    }
    EXPECT_EQ(log.GetLast(), prev);
    return out;
}

std::string Header(const std::string& product, const std::string& previous, const std::string& install,
                   const std::string& menu)
{
    std::string text;
    for (const std::string& line : FormatHeaderLines(product, previous, install, menu))
        text += line;
    return text;
}

class UninstallLogChanges : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_root = FreshFolder("ulog-" + name);
        m_install = m_root + "\\Install";
        m_menu = m_root + "\\Menu";
        m_log = m_root + "\\Uninstall.ulog";
        m_temp = std::make_unique<PrivateTempFolder>(name);
    }
    void TearDown() override
    {
        // Neither Save nor Rollback leaves a backup of the run behind.
        EXPECT_EQ(m_temp->Backups(), std::vector<std::string>());
        m_temp.reset();
        RemoveTree(m_root);
    }

    std::string m_root, m_install, m_menu, m_log;
    std::unique_ptr<PrivateTempFolder> m_temp;
};

// A log of an earlier installation, written by hand: header and the given record lines.
std::string EarlierLog(const std::string& install, const std::string& menu, const std::vector<std::string>& lines)
{
    std::string text = Header("Sarventa 5.22", "", install, menu);
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i < 10 ? "000" : "00") + std::to_string(i) + ":" + lines[i] + "\r\n";
    return text;
}

// The lines after the six header lines of a log file.
std::string RecordLinesOf(const std::string& log)
{
    const std::string text = ReadFileBytes(log);
    size_t at = 0;
    for (int line = 0; line < 6; ++line) {
        at = text.find("\r\n", at);
        if (at == std::string::npos)
            return std::string();
        at += 2;
    }
    return text.substr(at);
}

class UninstallLogSave : public UninstallLogChanges {
protected:
    void WriteEarlierLog(const std::vector<std::string>& lines)
    {
        ASSERT_TRUE(WriteFileBytes(m_log, EarlierLog(m_install, m_menu, lines)));
        ASSERT_TRUE(SetFileAttributesA(m_log.c_str(), 0x2021));
    }
    std::string RecordLines() const { return RecordLinesOf(m_log); }
    void TearDown() override
    {
        SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
        UninstallLogChanges::TearDown();
    }
};

TEST_F(UninstallLogSave, UpdateRewritingTheSameFilesKeepsOneLineEachAndUntouchedOldLinesAhead)
{
    // The first installation, written through the log itself.
    {
        CUninstallLog first;
        first.Load(nullptr, "Sarventa 5.22");
        for (const char* name : {"a.exe", "b.dll", "old.dll", "c.txt"}) {
            const std::string path = m_install + "\\" + name;
            first.AddFile(path.c_str(), name[0] == 'a' ? 1 : 0, false);
            first.SetStatus(WriteFileBytes(path, "5.22"), nullptr);
        }
        ASSERT_TRUE(first.Save(m_log.c_str(), m_install, m_menu));
    }
    ASSERT_TRUE(GetFileAttributesA(m_log.c_str()) & FILE_ATTRIBUTE_READONLY);

    CUninstallLog update;
    update.Load(m_log.c_str(), "Sarventa 5.23i");
    ASSERT_EQ(update.m_strPreviousProduct, "Sarventa 5.22");
    for (const char* name : {"c.txt", "a.exe", "b.dll", "new.dll"}) {
        const std::string path = m_install + "\\" + name;
        update.AddFile(path.c_str(), name[0] == 'a' ? 1 : 0, false);
        update.SetStatus(WriteFileBytes(path, "5.23i"), nullptr);
    }
    std::vector<std::string> backups;
    for (const LOG_RECORD* r : NewRecords(update))
        if (!r->strBackup.empty())
            backups.push_back(r->strBackup);
    EXPECT_EQ(backups.size(), 3u);
    ASSERT_TRUE(update.Save(m_log.c_str(), m_install, m_menu));
    for (const std::string& backup : backups)
        EXPECT_FALSE(FileExists(backup)) << backup;
    for (const LOG_RECORD* r : NewRecords(update))
        EXPECT_EQ(r->strBackup, "");
    EXPECT_EQ(update.GetOldFirst(), nullptr);

    const std::string text = ReadFileBytes(m_log);
    EXPECT_EQ(text.substr(0, text.size() - RecordLines().size()),
              Header("Sarventa 5.23i", "Sarventa 5.22", m_install, m_menu));
    EXPECT_NE(text.find("// Install Sarventa 5.23i -- Update (Sarventa 5.22)\r\n"), std::string::npos);
    EXPECT_EQ(RecordLines(), "0000:00FF:1 -- " + m_install + "\r\n" +
                                 "0001:0100:1 -- " + m_install + "\\old.dll\r\n" +
                                 "0002:0100:1 -- " + m_install + "\\c.txt\r\n" +
                                 "0003:0101:1 -- " + m_install + "\\a.exe\r\n" +
                                 "0004:0100:1 -- " + m_install + "\\b.dll\r\n" +
                                 "0005:0100:1 -- " + m_install + "\\new.dll\r\n");
    EXPECT_TRUE(GetFileAttributesA(m_log.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(TempFilesIn(m_root).empty());
}

TEST_F(UninstallLogSave, TwoOldRecordsOfOneKindComeOutAsTheLater)
{
    ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr) || IsFolder(m_root));
    WriteEarlierLog({"04FF:1 -- C:\\Desk\\Sarventa 5.21.lnk", "0100:1 -- C:\\P\\same.dll", "05FF:0 -- x",
                     "04FF:0 -- ", "0104:1 -- C:\\P\\same.dll", "05FF:1 -- HKEY_LOCAL_MACHINE\\y"});
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    EXPECT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_EQ(RecordLines(), std::string("0000:04FF:0 -- \r\n") + "0001:0104:1 -- C:\\P\\same.dll\r\n" +
                                 "0002:05FF:1 -- " + ULOG_UNINSTALL_KEY_TEXT + "\r\n");
}

TEST_F(UninstallLogSave, PathsOfTheSameShellItemMerge)
{
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(m_install + "\\Data.bin", "5.22"));
    std::string upper = m_install;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    WriteEarlierLog({"00FF:1 -- " + m_install + "\\", "0100:1 -- " + upper + "\\DATA.BIN",
                     "0100:1 -- " + m_install + "\\Gone.bin"});
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    RemoveDirectoryA(m_install.c_str());  // still holds Data.bin: stays
    const std::string data = m_install + "\\Data.bin";
    log.AddFile(data.c_str(), 0, false);
    log.SetStatus(WriteFileBytes(data, "5.23i"), nullptr);
    // The folder record of this run, for the same folder spelled with its trailing backslash.
    log.AddFile((m_install + "\\Sub\\x.txt").c_str(), 0, false);
    log.SetStatus(false, nullptr);
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    // The old folder line has no match of its kind in the new list (Sub only): it stays, once.
    EXPECT_EQ(RecordLines(), "0000:00FF:1 -- " + m_install + "\\\r\n" +
                                 "0001:0100:1 -- " + m_install + "\\Gone.bin\r\n" +
                                 "0002:0100:1 -- " + data + "\r\n" +
                                 "0003:00FF:1 -- " + m_install + "\\Sub\r\n" +
                                 "0004:0100:0 -- " + m_install + "\\Sub\\x.txt\r\n");
    EXPECT_EQ(ReadFileBytes(data), "5.23i");
}

TEST_F(UninstallLogSave, FolderSpelledDifferentlyMerges)
{
    std::string upper = m_install;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr) || IsFolder(m_root));
    WriteEarlierLog({"00FF:1 -- " + upper + "\\", "00FF:1 -- " + m_install + "\\Keep"});
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    log.CreateFolderPath(m_install.c_str());  // recorded by this run
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_EQ(RecordLines(), "0000:00FF:1 -- " + m_install + "\\Keep\r\n" + "0001:00FF:1 -- " + m_install + "\r\n");
}

TEST_F(UninstallLogSave, NoRecordsWritesTheHeaderOnly)
{
    CreateDirectoryA(m_root.c_str(), nullptr);
    CUninstallLog log;
    log.Load(nullptr, "Sarventa 5.23i");
    EXPECT_TRUE(log.Save(m_log.c_str(), m_install, "C:\\M"));
    EXPECT_EQ(ReadFileBytes(m_log), Header("Sarventa 5.23i", "", m_install, "C:\\M"));
    const std::string separator = "// Shortcut Path : C:\\M\r\n// " + std::string(20, '-') + "\r\n";
    EXPECT_NE(ReadFileBytes(m_log).find(separator), std::string::npos);
}

TEST_F(UninstallLogSave, FailedShortcutLineAndFixedTextsReadBackAndAreWrittenAgain)
{
    CUninstallLog first;
    first.Load(nullptr, "Sarventa 5.23i");
    first.AddShortcut(2, m_menu.c_str());
    first.SetStatus(false, nullptr);
    first.AddUninstallKey(nullptr);
    first.SetStatus(true, nullptr);
    first.AddSelfRegistration();
    first.SetStatus(false, nullptr);
    ASSERT_TRUE(first.Save(m_log.c_str(), m_install, m_menu));
    const std::string written = RecordLines();
    EXPECT_EQ(written, "0000:00FF:1 -- " + m_menu + "\r\n" + "0001:04FF:0 -- \r\n" + "0002:05FF:1 -- " +
                           ULOG_UNINSTALL_KEY_TEXT + "\r\n" + "0003:06FF:0 -- " + ULOG_SELF_REGISTRATION_TEXT + "\r\n");

    CUninstallLog again;
    again.Load(m_log.c_str(), "Sarventa 5.23i");
    std::vector<const LOG_RECORD*> old;
    for (const LOG_RECORD* r = again.GetOldFirst(); r; r = r->pNext)
        old.push_back(r);
    ASSERT_EQ(old.size(), 4u);
    EXPECT_EQ(old[1]->strPath, "");
    EXPECT_EQ(old[2]->strPath, "");
    EXPECT_EQ(old[3]->strPath, "");
    const std::string before = ReadFileBytes(m_log);
    again.m_strPreviousProduct.clear();  // the same header as the first write
    ASSERT_TRUE(again.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_EQ(ReadFileBytes(m_log), before);
    RemoveDirectoryA(m_menu.c_str());
}

TEST_F(UninstallLogSave, MoreThanTenThousandRecordsReadBackIdentical)
{
    ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr) || IsFolder(m_root));
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    CUninstallLog log;
    log.Load(nullptr, "Sarventa 5.23i");
    constexpr int COUNT = 10050;
    for (int i = 0; i < COUNT; ++i) {
        log.AddFile((m_install + "\\f" + std::to_string(i) + ".dat").c_str(), i % 5, i % 5 == 3);
        log.SetStatus(i % 7 != 0, nullptr);
    }
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    const std::string text = ReadFileBytes(m_log);
    EXPECT_NE(text.find("\r\n9999:0104:1 -- "), std::string::npos);
    EXPECT_NE(text.find("\r\n10000:0100:1 -- "), std::string::npos);

    CUninstallLog again;
    EXPECT_TRUE(again.Load(m_log.c_str(), "Sarventa 5.23i"));
    const LOG_RECORD* written = log.GetFirst();
    const LOG_RECORD* read = again.GetOldFirst();
    int count = 0;
    for (; written && read; written = written->pNext, read = read->pNext, ++count) {
        ASSERT_EQ(read->nKind, written->nKind) << count;
        ASSERT_EQ(read->nCode, written->nCode) << count;
        ASSERT_EQ(read->bDone, written->bDone) << count;
        ASSERT_EQ(read->strPath, written->strPath) << count;
    }
    EXPECT_EQ(count, COUNT);
    EXPECT_EQ(written, nullptr);
    EXPECT_EQ(read, nullptr);
}

TEST_F(UninstallLogSave, ReplacementThatFailsLeavesThePreviousLogAndNoTemporaryFile)
{
    ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr) || IsFolder(m_root));
    WriteEarlierLog({"0100:1 -- C:\\P\\a.dll"});
    const std::string previous = ReadFileBytes(m_log);
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    const std::string file = m_install + "\\a.dll";
    ASSERT_TRUE(WriteFileBytes(file, "5.22"));

    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    log.AddFile(file.c_str(), 0, false);
    const std::string backup = log.GetLast()->strBackup;
    ASSERT_FALSE(backup.empty());
    log.SetStatus(WriteFileBytes(file, "5.23i"), nullptr);
    {
        // The previous log held open without delete sharing: it cannot be replaced.
        FileHandle held(CreateFileA(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(log.Save(m_log.c_str(), m_install, m_menu));
    }
    EXPECT_EQ(ReadFileBytes(m_log), previous);
    EXPECT_TRUE(GetFileAttributesA(m_log.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(TempFilesIn(m_root).empty());
    EXPECT_FALSE(FileExists(backup));
    EXPECT_EQ(log.GetLast()->strBackup, "");
}

TEST_F(UninstallLogSave, LogFolderThatCannotBeWrittenGivesFalseAndDiscardsBackups)
{
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr) || IsFolder(m_install));
    const std::string file = m_install + "\\a.dll";
    ASSERT_TRUE(WriteFileBytes(file, "5.22"));
    CUninstallLog log;
    log.AddFile(file.c_str(), 0, true);
    const std::string backup = log.GetLast()->strBackup;
    ASSERT_FALSE(backup.empty());
    log.SetStatus(true, nullptr);
    // A file stands where the log's folder should be.
    EXPECT_FALSE(log.Save((file + "\\Uninstall.ulog").c_str(), m_install, m_menu));
    EXPECT_FALSE(FileExists(backup));
    EXPECT_EQ(ReadFileBytes(file), "5.22");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"a.dll"});
    EXPECT_FALSE(log.Save(nullptr, m_install, m_menu));
}

TEST_F(UninstallLogSave, ShellComparisonWorksWithAndWithoutComOnTheThread)
{
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    WriteEarlierLog({"00FF:1 -- " + m_install + "\\"});
    // One save per COM state of the calling thread: none, single-threaded, multi-threaded.
    for (int state = 0; state < 3; ++state) {
        struct Run {
            int state;
            std::string log, install, menu;
            bool saved;
            std::string lines;
            HRESULT after;
        } run{state, m_log, m_install, m_menu, false, std::string(), E_FAIL};
        SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(m_log, EarlierLog(m_install, m_menu, {"00FF:1 -- " + m_install + "\\"})));
        ASSERT_TRUE(RemoveDirectoryA(m_install.c_str()));
        std::thread([r = &run] {
            if (r->state == 1)
                CoInitialize(nullptr);
            else if (r->state == 2)
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CUninstallLog log;
            log.Load(r->log.c_str(), "P");
            log.CreateFolderPath(r->install.c_str());
            r->saved = log.Save(r->log.c_str(), r->install, r->menu);
            r->lines = RecordLinesOf(r->log);
            // The thread's COM state is what it was before the save.
            r->after = CoInitializeEx(nullptr, r->state == 2 ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
            CoUninitialize();
            if (r->state != 0)
                CoUninitialize();
        }).join();
        EXPECT_TRUE(run.saved) << state;
        EXPECT_EQ(run.lines, "0000:00FF:1 -- " + m_install + "\r\n") << state;
        EXPECT_EQ(run.after, state == 0 ? S_OK : S_FALSE) << state;
    }
}

class UninstallLogRollback : public UninstallLogChanges {
protected:
    void SetUp() override
    {
        UninstallLogChanges::SetUp();
        ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    }
};

TEST_F(UninstallLogRollback, ReplacedFilesComeBackWithTheirAttributesAndNewFoldersGoDeepestFirst)
{
    const struct {
        const char* name;
        DWORD attributes;
    } files[] = {{"plain.dll", FILE_ATTRIBUTE_ARCHIVE},
                 {"locked.dll", FILE_ATTRIBUTE_READONLY},
                 {"hidden.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY}};
    std::vector<DWORD> before;
    for (const auto& f : files) {
        const std::string path = m_install + "\\" + f.name;
        ASSERT_TRUE(WriteFileBytes(path, std::string("old ") + f.name));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), f.attributes));
        before.push_back(GetFileAttributesA(path.c_str()));
    }
    ASSERT_TRUE(WriteFileBytes(m_install + "\\user.txt", "not ours"));

    CUninstallLog log;
    for (const auto& f : files) {
        const std::string path = m_install + "\\" + f.name;
        log.AddFile(path.c_str(), 0, false);
        EXPECT_FALSE(FileExists(path)) << f.name;
        log.SetStatus(WriteFileBytes(path, "new"), nullptr);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);  // the new one read-only too
    }
    const std::string deep = m_install + "\\A\\B\\C\\deep.txt";
    log.AddFile(deep.c_str(), 4, false);
    log.SetStatus(WriteFileBytes(deep, "new"), nullptr);
    log.AddFile((m_install + "\\A\\other.txt").c_str(), 0, false);
    log.SetStatus(false, nullptr);  // failed: nothing there
    const auto records = NewRecords(log);
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3]->strPath, m_install + "\\A");
    EXPECT_EQ(records[5]->strPath, m_install + "\\A\\B\\C");

    log.Rollback();
    EXPECT_EQ(log.GetFirst(), nullptr);
    EXPECT_EQ(log.GetLast(), nullptr);
    for (size_t i = 0; i < std::size(files); ++i) {
        const std::string path = m_install + "\\" + files[i].name;
        EXPECT_EQ(ReadFileBytes(path), std::string("old ") + files[i].name);
        EXPECT_EQ(GetFileAttributesA(path.c_str()), before[i]) << files[i].name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_FALSE(FileExists(m_install + "\\A"));
    EXPECT_EQ(ReadFileBytes(m_install + "\\user.txt"), "not ours");
}

TEST_F(UninstallLogRollback, FolderThatGotForeignContentStays)
{
    const std::string file = m_install + "\\New\\mine.txt";
    CUninstallLog log;
    log.AddFile(file.c_str(), 0, false);
    log.SetStatus(WriteFileBytes(file, "new"), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\New\\theirs.txt", "user"));
    log.Rollback();
    EXPECT_FALSE(FileExists(file));
    EXPECT_EQ(ReadFileBytes(m_install + "\\New\\theirs.txt"), "user");
}

TEST_F(UninstallLogRollback, SharedDataFileStaysDuringTheRunAndComesBackAfter)
{
    const std::string shared = m_install + "\\Shared.dat";
    ASSERT_TRUE(WriteFileBytes(shared, "the user's data"));
    ASSERT_TRUE(SetFileAttributesA(shared.c_str(), FILE_ATTRIBUTE_READONLY));
    CUninstallLog log;
    log.AddFile(shared.c_str(), 3, true);
    const LOG_RECORD* record = log.GetLast();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->nCode, 3);
    ASSERT_FALSE(record->strBackup.empty());
    EXPECT_EQ(record->strBackup.rfind(m_temp->Path() + "\\qu", 0), 0u) << record->strBackup;
    EXPECT_EQ(ReadFileBytes(shared), "the user's data");
    EXPECT_EQ(ReadFileBytes(record->strBackup), "the user's data");
    EXPECT_TRUE(GetFileAttributesA(shared.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(shared.c_str(), FILE_ATTRIBUTE_NORMAL);
    log.SetStatus(WriteFileBytes(shared, "installer's version"), nullptr);
    log.Rollback();
    EXPECT_EQ(ReadFileBytes(shared), "the user's data");
    EXPECT_TRUE(GetFileAttributesA(shared.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(shared.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(UninstallLogRollback, FileThatCouldNotBeBackedUpStaysWhenItWasNotReplaced)
{
    const std::string kept = m_install + "\\kept.dll";
    const std::string replaced = m_install + "\\replaced.dll";
    ASSERT_TRUE(WriteFileBytes(kept, "the user's file"));
    ASSERT_TRUE(WriteFileBytes(replaced, "the user's file"));
    // No backup can be made: the temporary folder does not exist.
    SetEnvironmentVariableA("TMP", (m_root + "\\missing").c_str());
    CUninstallLog log;
    log.AddFile(kept.c_str(), 0, false);
    EXPECT_EQ(log.GetLast()->strBackup, "");
    EXPECT_TRUE(log.GetLast()->bExisted);
    log.SetStatus(false, nullptr);  // writing it failed: the file is untouched
    log.AddFile(replaced.c_str(), 0, false);
    log.SetStatus(WriteFileBytes(replaced, "new"), nullptr);
    log.AddFile((m_install + "\\new.dll").c_str(), 0, false);
    EXPECT_FALSE(log.GetLast()->bExisted);
    log.SetStatus(false, nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\new.dll", "partly"));
    log.Rollback();
    EXPECT_EQ(ReadFileBytes(kept), "the user's file");
    EXPECT_FALSE(FileExists(replaced));  // the new item goes; there is no old one to put back
    EXPECT_FALSE(FileExists(m_install + "\\new.dll"));
}

class UninstallLogShortcuts : public UninstallLogChanges {
protected:
    void SetUp() override
    {
        UninstallLogChanges::SetUp();
        m_desk = m_root + "\\Desk";
        m_program = m_install + "\\Sarventa.exe";
        ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(m_program, "program"));
        ASSERT_TRUE(CreateDirectoryA(m_menu.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(m_desk.c_str(), nullptr));
        // The earlier installation's links and its log.
        ASSERT_TRUE(CreateShortcut(m_program.c_str(), m_menu.c_str(), "Sarventa 5.22", &m_oldMenuLink));
        ASSERT_TRUE(CreateShortcut(m_program.c_str(), m_desk.c_str(), "Sarventa 5.22", &m_oldDeskLink));
        m_oldMenuBytes = ReadFileBytes(m_oldMenuLink);
        m_oldDeskBytes = ReadFileBytes(m_oldDeskLink);
        ASSERT_FALSE(m_oldMenuBytes.empty());
        ASSERT_TRUE(WriteFileBytes(m_log, EarlierLog(m_install, m_menu,
                                                     {"02FF:1 -- " + m_oldMenuLink, "03FF:0 -- ",
                                                      "04FF:1 -- " + m_oldDeskLink})));
    }

    std::string m_desk, m_program, m_oldMenuLink, m_oldDeskLink, m_oldMenuBytes, m_oldDeskBytes;
};

TEST_F(UninstallLogShortcuts, PreviousLinksComeBackUnderTheirOwnNamesAlsoWhenTheNewLinkFailed)
{
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    log.AddShortcut(0, m_menu.c_str());
    const LOG_RECORD* menuRecord = log.GetLast();
    EXPECT_EQ(menuRecord->nKind, LR_MENU_PROGRAM_SHORTCUT);
    EXPECT_EQ(menuRecord->strPath, "");
    EXPECT_EQ(menuRecord->strBackupOrigin, m_oldMenuLink);
    EXPECT_FALSE(FileExists(m_oldMenuLink));
    std::string newLink;
    ASSERT_TRUE(CreateShortcut(m_program.c_str(), m_menu.c_str(), "Sarventa 5.23i", &newLink));
    log.SetStatus(true, newLink.c_str());

    // No previous link of this kind was made: nothing to move.
    log.AddShortcut(1, m_menu.c_str());
    EXPECT_EQ(log.GetLast()->nKind, LR_MENU_UNINSTALL_SHORTCUT);
    EXPECT_EQ(log.GetLast()->strBackup, "");
    log.SetStatus(false, nullptr);

    log.AddShortcut(7, (m_desk + "\\New").c_str());  // any other selector: the desktop link
    EXPECT_EQ(log.GetLast()->nKind, LR_DESKTOP_SHORTCUT);
    EXPECT_FALSE(FileExists(m_oldDeskLink));
    log.SetStatus(false, nullptr);  // making the new link failed

    log.Rollback();
    EXPECT_FALSE(FileExists(newLink));
    EXPECT_EQ(ReadFileBytes(m_oldMenuLink), m_oldMenuBytes);
    EXPECT_EQ(ReadFileBytes(m_oldDeskLink), m_oldDeskBytes);
    EXPECT_FALSE(FileExists(m_desk + "\\New"));
}

TEST_F(UninstallLogShortcuts, LinkUnderTheSameNameIsReplacedAndRestored)
{
    // The previous log names the link that the new run makes again under the same name.
    ASSERT_TRUE(WriteFileBytes(m_log, EarlierLog(m_install, m_menu, {"04FF:1 -- " + m_oldDeskLink})));
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.22");
    log.AddShortcut(2, m_desk.c_str());
    std::string link;
    ASSERT_TRUE(CreateShortcut(m_install.c_str(), m_desk.c_str(), "Sarventa 5.22", &link));
    ASSERT_EQ(link, m_oldDeskLink);
    ASSERT_NE(ReadFileBytes(link), m_oldDeskBytes);
    log.SetStatus(true, link.c_str());
    log.Rollback();
    EXPECT_EQ(ReadFileBytes(m_oldDeskLink), m_oldDeskBytes);
}

TEST_F(UninstallLogShortcuts, SaveDiscardsThePreviousLinks)
{
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    log.AddShortcut(0, m_menu.c_str());
    std::string newLink;
    ASSERT_TRUE(CreateShortcut(m_program.c_str(), m_menu.c_str(), "Sarventa 5.23i", &newLink));
    log.SetStatus(true, newLink.c_str());
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_FALSE(FileExists(m_oldMenuLink));
    EXPECT_TRUE(FileExists(newLink));
    EXPECT_TRUE(FileExists(m_oldDeskLink));  // this run made no desktop link: the old one and its line stay
    const std::string text = ReadFileBytes(m_log);
    const std::string lines =
        "0000:03FF:0 -- \r\n0001:04FF:1 -- " + m_oldDeskLink + "\r\n0002:02FF:1 -- " + newLink + "\r\n";
    EXPECT_NE(text.find(lines), std::string::npos) << text;
    SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(UninstallLogChanges, SetStatusAndKeptFiles)
{
    CUninstallLog empty;
    empty.SetStatus(true, "C:\\x");  // no record: nothing happens
    EXPECT_EQ(empty.GetFirst(), nullptr);
    EXPECT_FALSE(empty.IsKeptFile(nullptr));

    ASSERT_TRUE(WriteFileBytes(m_log, EarlierLog(m_install, m_menu,
                                                 {"0103:1 -- C:\\P\\Shared.dat", "0103:0 -- C:\\P\\Failed.dat",
                                                  "00FF:1 -- C:\\P\\Folder", "04FF:1 -- C:\\P\\Link.lnk"})));
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    EXPECT_TRUE(log.IsKeptFile("C:\\P\\Shared.dat"));
    EXPECT_FALSE(log.IsKeptFile("C:\\P\\shared.dat"));  // byte for byte
    EXPECT_FALSE(log.IsKeptFile("C:\\P\\Failed.dat"));  // not done
    EXPECT_FALSE(log.IsKeptFile("C:\\P\\Folder"));      // not a file
    EXPECT_FALSE(log.IsKeptFile("C:\\P\\Link.lnk"));
    log.SetStatus(true, "C:\\x");  // the old list is not this run's
    EXPECT_EQ(log.GetFirst(), nullptr);

    log.AddSelfRegistration();
    log.SetStatus(true, nullptr);
    EXPECT_EQ(log.GetLast()->bDone, 1);
    EXPECT_EQ(log.GetLast()->strPath, "");
    log.SetStatus(false, "C:\\y");
    EXPECT_EQ(log.GetLast()->bDone, 0);
    EXPECT_EQ(log.GetLast()->strPath, "C:\\y");

    // Without a path a record is made all the same, so the status goes to it and not to the one before.
    log.AddFile(nullptr, 0, false);
    log.SetStatus(true, nullptr);
    EXPECT_EQ(log.GetLast()->nKind, LR_FILE);
    EXPECT_EQ(log.GetLast()->strPath, "");
    EXPECT_EQ(log.GetLast()->pPrev->bDone, 0);
}

TEST_F(UninstallLogSave, ShortNameOfAFileMergesWithItsLongName)
{
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    const std::string file = m_install + "\\A Long File Name.data";
    ASSERT_TRUE(WriteFileBytes(file, "5.22"));
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortName), file);
    ASSERT_TRUE(IsSameShellItem(shortName, file.c_str()));
    WriteEarlierLog({"0100:1 -- " + std::string(shortName), "0100:1 -- " + m_install + "\\Other.dat"});
    CUninstallLog log;
    log.Load(m_log.c_str(), "Sarventa 5.23i");
    log.AddFile(file.c_str(), 0, false);
    log.SetStatus(WriteFileBytes(file, "5.23i"), nullptr);
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_EQ(RecordLines(), "0000:0100:1 -- " + m_install + "\\Other.dat\r\n" + "0001:0100:1 -- " + file + "\r\n");
}

}  // namespace
