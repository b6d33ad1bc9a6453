// The log's record lists and the merge of a previous installation's records into this run's.
#include "LogRecords.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace {

// Owns both lists of a test; frees whatever is left.
struct Lists {
    LOG_RECORD* oldFirst = nullptr;
    LOG_RECORD* oldLast = nullptr;
    LOG_RECORD* first = nullptr;
    LOG_RECORD* last = nullptr;
    ~Lists()
    {
        FreeRecords(oldFirst, oldLast);
        FreeRecords(first, last);
    }
    LOG_RECORD* Old(int kind, const std::string& path, int code = -1)
    {
        return Add(oldFirst, oldLast, kind, path, code);
    }
    LOG_RECORD* New(int kind, const std::string& path, int code = -1) { return Add(first, last, kind, path, code); }
    void Merge(const SamePathTest& samePath, const PathKey& key = nullptr)
    {
        MergeLogRecords(oldFirst, oldLast, first, last, samePath, key);
    }

    static LOG_RECORD* Add(LOG_RECORD*& f, LOG_RECORD*& l, int kind, const std::string& path, int code)
    {
        auto* r = new LOG_RECORD;
        r->nKind = kind, r->strPath = path, r->nCode = code;
        AppendRecord(f, l, r);
        return r;
    }
};

// The records of a list from first to last, checking every back link on the way.
std::vector<LOG_RECORD*> Walk(LOG_RECORD* first, LOG_RECORD* last)
{
    std::vector<LOG_RECORD*> out;
    LOG_RECORD* prev = nullptr;
    for (LOG_RECORD* r = first; r; prev = r, r = r->pNext) {
        EXPECT_EQ(r->pPrev, prev);
        out.push_back(r);
    }
    EXPECT_EQ(last, prev);
    return out;
}

// Kind and path of each record, "kind:path".
std::vector<std::string> Lines(LOG_RECORD* first, LOG_RECORD* last)
{
    std::vector<std::string> out;
    for (LOG_RECORD* r : Walk(first, last))
        out.push_back(std::to_string(r->nKind) + ":" + r->strPath);
    return out;
}

// Case and a trailing backslash do not matter, as with the shell's item comparison.
std::string Fold(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    for (char& c : path)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
}

struct CountingSame {
    int* calls;
    bool operator()(const std::string& a, const std::string& b) const
    {
        ++*calls;
        EXPECT_NE(a, b);  // equal strings never reach the slow comparison
        return Fold(a) == Fold(b);
    }
};

TEST(LogRecordList, AppendPrependUnlinkKeepBothDirectionsConsistent)
{
    Lists l;
    LOG_RECORD* b = l.New(LR_FILE, "b");
    auto* a = new LOG_RECORD;
    a->strPath = "a";
    PrependRecord(l.first, l.last, a);
    LOG_RECORD* c = l.New(LR_FILE, "c");
    EXPECT_EQ(Lines(l.first, l.last), (std::vector<std::string>{"0:a", "1:b", "1:c"}));

    UnlinkRecord(l.first, l.last, b);  // middle
    EXPECT_EQ(b->pPrev, nullptr);
    EXPECT_EQ(b->pNext, nullptr);
    delete b;
    EXPECT_EQ(Lines(l.first, l.last), (std::vector<std::string>{"0:a", "1:c"}));
    UnlinkRecord(l.first, l.last, c);  // last
    delete c;
    EXPECT_EQ(l.last, a);
    UnlinkRecord(l.first, l.last, a);  // only one
    delete a;
    EXPECT_EQ(l.first, nullptr);
    EXPECT_EQ(l.last, nullptr);

    auto* only = new LOG_RECORD;
    PrependRecord(l.first, l.last, only);
    EXPECT_EQ(l.first, only);
    EXPECT_EQ(l.last, only);
    l.New(LR_FOLDER, "x");
    FreeRecords(l.first, l.last);
    EXPECT_EQ(l.first, nullptr);
    EXPECT_EQ(l.last, nullptr);
}

TEST(MergeLogRecords, UpdateOfTheSameFilesKeepsOneRecordEachAndUntouchedOldOnesAhead)
{
    Lists l;
    l.Old(LR_FOLDER, "C:\\P");
    l.Old(LR_FILE, "C:\\P\\a.exe", 1);
    l.Old(LR_FILE, "C:\\P\\gone.dll", 0);
    l.Old(LR_FILE, "C:\\P\\b.dll", 0);
    l.Old(LR_FILE, "C:\\P\\sample.txt", 4);
    LOG_RECORD* newA = l.New(LR_FILE, "C:\\P\\a.exe", 1);
    l.New(LR_FILE, "C:\\P\\b.dll", 0);
    l.New(LR_FILE, "C:\\P\\new.dll", 0);
    int calls = 0;
    l.Merge(CountingSame{&calls});
    EXPECT_EQ(l.oldFirst, nullptr);
    EXPECT_EQ(l.oldLast, nullptr);
    EXPECT_EQ(Lines(l.first, l.last),
              (std::vector<std::string>{"0:C:\\P", "1:C:\\P\\gone.dll", "1:C:\\P\\sample.txt", "1:C:\\P\\a.exe",
                                        "1:C:\\P\\b.dll", "1:C:\\P\\new.dll"}));
    EXPECT_EQ(Walk(l.first, l.last)[3], newA);  // this run's record, not the old one
}

TEST(MergeLogRecords, TwoOldRecordsOfOneKindComeOutAsTheLater)
{
    Lists l;
    for (int kind = LR_MENU_PROGRAM_SHORTCUT; kind <= LR_SELF_REGISTRATION; ++kind)
        l.Old(kind, "first" + std::to_string(kind));
    l.Old(LR_FILE, "f", 0);
    for (int kind = LR_MENU_PROGRAM_SHORTCUT; kind <= LR_SELF_REGISTRATION; ++kind)
        l.Old(kind, "second" + std::to_string(kind));
    l.Old(LR_FILE, "f", 3);
    l.Merge(nullptr);
    const auto records = Walk(l.first, l.last);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(Lines(l.first, l.last), (std::vector<std::string>{"2:second2", "3:second3", "4:second4", "5:second5",
                                                                "6:second6", "1:f"}));
    EXPECT_EQ(records[5]->nCode, 3);
}

TEST(MergeLogRecords, KindsWithoutPathsAreReplacedByAnyRecordOfTheirKind)
{
    Lists l;
    l.Old(LR_MENU_PROGRAM_SHORTCUT, "C:\\Menu\\Sarventa 5.22.lnk");
    l.Old(LR_DESKTOP_SHORTCUT, "C:\\Desk\\Sarventa 5.22.lnk");
    l.Old(LR_UNINSTALL_KEY, "");
    l.Old(LR_SELF_REGISTRATION, "");
    l.New(LR_MENU_PROGRAM_SHORTCUT, "C:\\Menu\\Sarventa 5.23i.lnk");
    l.New(LR_UNINSTALL_KEY, ULOG_UNINSTALL_KEY_TEXT);
    l.New(LR_DESKTOP_SHORTCUT, "");  // a failed link still replaces the old record
    int calls = 0;
    l.Merge(CountingSame{&calls});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Lines(l.first, l.last),
              (std::vector<std::string>{"6:", "2:C:\\Menu\\Sarventa 5.23i.lnk",
                                        std::string("5:") + ULOG_UNINSTALL_KEY_TEXT, "4:"}));
}

TEST(MergeLogRecords, SameItemComparedOnlyWithoutAnExactMatchAndOnlyWithinTheKind)
{
    Lists l;
    l.Old(LR_FOLDER, "C:\\Program Files\\Q");           // same item as a new folder, other spelling
    l.Old(LR_FILE, "C:\\PROGRAM FILES\\Q\\A.EXE", 1);    // same item as a new file
    l.Old(LR_FILE, "C:\\Program Files\\Q", 0);           // a file never matches a folder record
    l.Old(LR_FOLDER, "C:\\Program Files\\Q\\A.exe");     // nor a folder a file record
    l.Old(LR_FILE, "C:\\Other\\x.txt", 0);               // no match anywhere
    l.New(LR_FOLDER, "C:\\program files\\q\\");
    l.New(LR_FILE, "C:\\Program Files\\Q\\a.exe", 1);
    l.New(LR_FILE, "C:\\Program Files\\Q\\a.exe", 1);  // a duplicate path is compared once
    l.New(LR_MENU_PROGRAM_SHORTCUT, "C:\\Program Files\\Q\\A.exe");
    int calls = 0;
    l.Merge(CountingSame{&calls});
    EXPECT_EQ(Lines(l.first, l.last),
              (std::vector<std::string>{"1:C:\\Program Files\\Q", "0:C:\\Program Files\\Q\\A.exe", "1:C:\\Other\\x.txt",
                                        "0:C:\\program files\\q\\", "1:C:\\Program Files\\Q\\a.exe",
                                        "1:C:\\Program Files\\Q\\a.exe",
                                        "2:C:\\Program Files\\Q\\A.exe"}));
    // Last first: x.txt meets a.exe; folder A.exe meets q\; file Q meets a.exe and the surviving x.txt;
    // A.EXE and folder Q match at their first comparison.
    EXPECT_EQ(calls, 1 + 1 + 2 + 1 + 1);
}

TEST(MergeLogRecords, EmptyListsAndNoComparison)
{
    Lists none;
    none.Merge(nullptr);
    EXPECT_EQ(none.first, nullptr);

    Lists onlyOld;
    onlyOld.Old(LR_FILE, "a", 0);
    onlyOld.Old(LR_FILE, "A", 0);  // without a comparison only equal strings are the same
    onlyOld.Old(LR_FILE, "a", 2);
    onlyOld.Merge(nullptr);
    EXPECT_EQ(Lines(onlyOld.first, onlyOld.last), (std::vector<std::string>{"1:A", "1:a"}));
    EXPECT_EQ(onlyOld.first->pNext->nCode, 2);
    EXPECT_EQ(onlyOld.oldFirst, nullptr);

    Lists onlyNew;
    LOG_RECORD* r = onlyNew.New(LR_FILE, "a", 0);
    onlyNew.Merge(nullptr);
    EXPECT_EQ(onlyNew.first, r);
    EXPECT_EQ(onlyNew.last, r);
}

TEST(MergeLogRecords, ThousandsOfRewrittenFilesNeedNoItemComparison)
{
    Lists l;
    constexpr int COUNT = 20000;
    for (int i = 0; i < COUNT; ++i)
        l.Old(LR_FILE, "C:\\P\\file" + std::to_string(i) + ".dat", 0);
    for (int i = COUNT; i-- > 0;)
        l.New(LR_FILE, "C:\\P\\file" + std::to_string(i) + ".dat", 0);
    int calls = 0;
    l.Merge(CountingSame{&calls});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Walk(l.first, l.last).size(), static_cast<size_t>(COUNT));
    EXPECT_EQ(l.first->strPath, "C:\\P\\file" + std::to_string(COUNT - 1) + ".dat");
}

TEST(MergeLogRecords, WithAKeyOnlyPathsOfEqualKeysAreCompared)
{
    Lists l;
    l.Old(LR_FILE, "C:\\P\\A.EXE", 1);  // same item as a new file
    for (int i = 0; i < 1000; ++i)
        l.Old(LR_FILE, "C:\\P\\dropped" + std::to_string(i) + ".dll", 0);
    l.Old(LR_FOLDER, "C:\\P\\");
    for (int i = 0; i < 1000; ++i)
        l.New(LR_FILE, "C:\\P\\file" + std::to_string(i) + ".dll", 0);
    l.New(LR_FILE, "C:\\P\\a.exe", 1);
    l.New(LR_FOLDER, "C:\\p");
    int calls = 0, keys = 0;
    l.Merge(CountingSame{&calls}, [&keys](const std::string& path) {
        ++keys;
        return Fold(path);
    });
    EXPECT_EQ(calls, 2);  // A.EXE and the folder, each with its one candidate
    // Each distinct path once, and each old one asked about once more when it joins the list.
    EXPECT_EQ(keys, 1001 + 1 + 1000 + 1000 + 1 + 1);
    const auto records = Walk(l.first, l.last);
    ASSERT_EQ(records.size(), 2002u);
    EXPECT_EQ(records[0]->strPath, "C:\\P\\dropped0.dll");
    EXPECT_EQ(records[999]->strPath, "C:\\P\\dropped999.dll");
    EXPECT_EQ(records[2001]->strPath, "C:\\p");
}

}  // namespace
