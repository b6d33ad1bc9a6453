// Fuzzes the merge of a previous installation's records into this run's: the lists stay consistent, every
// surviving old record is unique by kind (and item, for folders and files) and differs from this run's,
// this run's records all stay, in order, at the end, and the result equals a plain reference merge.
// Dropped records are freed: the leak checker of the address sanitizer catches one that is not.
#include "LogRecords.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Paths from a tiny alphabet so that matches are frequent; case and a trailing backslash do not matter.
std::string Fold(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    for (char& c : path)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
}

bool Same(const std::string& a, const std::string& b) { return Fold(a) == Fold(b); }

bool IsPathKind(int kind) { return kind == LR_FOLDER || kind == LR_FILE; }

bool Matches(const LOG_RECORD& a, const LOG_RECORD& b)
{
    return a.nKind == b.nKind && (!IsPathKind(a.nKind) || Same(a.strPath, b.strPath));
}

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t Next()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

LOG_RECORD* MakeRecord(Input& in, int id)
{
    static const char* const PARTS[] = {"a", "A", "b", "\\", "c\\d", "B"};
    const uint8_t head = in.Next();
    auto* r = new LOG_RECORD;
    r->nKind = head % LR_KIND_COUNT;
    r->nCode = id;  // identifies the record in the checks
    const int parts = (head >> 3) % 4;
    for (int k = 0; k < parts; ++k)
        r->strPath += PARTS[in.Next() % 6];
    return r;
}

void CheckLinks(const LOG_RECORD* first, const LOG_RECORD* last, std::vector<const LOG_RECORD*>& out)
{
    const LOG_RECORD* prev = nullptr;
    for (const LOG_RECORD* r = first; r; prev = r, r = r->pNext) {
        if (r->pPrev != prev)
            std::abort();
        out.push_back(r);
    }
    if (prev != last)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};  // size itself is kept for the choice of the merge
    const int oldCount = in.Next() % 48;
    const int newCount = in.Next() % 48;
    LOG_RECORD* oldFirst = nullptr;
    LOG_RECORD* oldLast = nullptr;
    LOG_RECORD* first = nullptr;
    LOG_RECORD* last = nullptr;
    std::vector<LOG_RECORD> oldCopies, newCopies;  // values before the merge, without links
    for (int i = 0; i < oldCount; ++i) {
        LOG_RECORD* r = MakeRecord(in, i);
        AppendRecord(oldFirst, oldLast, r);
        oldCopies.push_back(*r);
    }
    for (int i = 0; i < newCount; ++i) {
        LOG_RECORD* r = MakeRecord(in, 1000 + i);
        AppendRecord(first, last, r);
        newCopies.push_back(*r);
    }

    // Reference: the old records, last first, against everything kept so far.
    std::vector<LOG_RECORD> expected = newCopies;
    for (size_t i = oldCopies.size(); i-- > 0;) {
        bool held = false;
        for (const LOG_RECORD& kept : expected)
            held = held || Matches(kept, oldCopies[i]);
        if (!held)
            expected.insert(expected.begin(), oldCopies[i]);
    }

    // With and without the key that groups the candidates: the result is the same.
    if (size % 2)
        MergeLogRecords(oldFirst, oldLast, first, last, Same, Fold);
    else
        MergeLogRecords(oldFirst, oldLast, first, last, Same);

    if (oldFirst || oldLast)
        std::abort();
    std::vector<const LOG_RECORD*> merged;
    CheckLinks(first, last, merged);
    if (merged.size() != expected.size() || merged.size() < newCopies.size())
        std::abort();
    for (size_t i = 0; i < merged.size(); ++i) {
        if (merged[i]->nCode != expected[i].nCode || merged[i]->nKind != expected[i].nKind ||
            merged[i]->strPath != expected[i].strPath)
            std::abort();
    }
    const size_t survivors = merged.size() - newCopies.size();
    for (size_t i = 0; i < newCopies.size(); ++i) {
        if (merged[survivors + i]->nCode != newCopies[i].nCode)
            std::abort();
    }
    for (size_t i = 0; i < survivors; ++i) {
        if (merged[i]->nCode >= 1000)
            std::abort();
        for (size_t j = 0; j < merged.size(); ++j) {
            if (j != i && Matches(*merged[i], *merged[j]))
                std::abort();
        }
    }
    FreeRecords(first, last);
    return 0;
}
