// The log's record lists and the merge of the previous installation's records into this run's.
#include "LogRecords.h"

#include <map>
#include <set>
#include <string_view>
#include <vector>

void AppendRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record)
{
    record->pPrev = last;
    record->pNext = nullptr;
    if (last)
        last->pNext = record;
    else
        first = record;
    last = record;
}

void PrependRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record)
{
    record->pPrev = nullptr;
    record->pNext = first;
    if (first)
        first->pPrev = record;
    else
        last = record;
    first = record;
}

void UnlinkRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record)
{
    if (record->pPrev)
        record->pPrev->pNext = record->pNext;
    else
        first = record->pNext;
    if (record->pNext)
        record->pNext->pPrev = record->pPrev;
    else
        last = record->pPrev;
    record->pPrev = record->pNext = nullptr;
}

void FreeRecords(LOG_RECORD*& first, LOG_RECORD*& last)
{
    while (first) {
        LOG_RECORD* next = first->pNext;
        delete first;
        first = next;
    }
    last = nullptr;
}

namespace {

bool IsPathKind(int kind) { return kind == LR_FOLDER || kind == LR_FILE; }

// The paths of one kind that the new list holds: an exact index, and the distinct paths in the order
// they came, for the (slow) item comparison, grouped by key when a key is given. The pointers lead into
// records of the new list, which stay alive and unchanged for the whole merge.
struct KindPaths {
    std::set<std::string_view> exact;
    std::vector<const std::string*> distinct;
    std::map<std::string, std::vector<const std::string*>> byKey;
    size_t nKeyed = 0;  // the first nKeyed of distinct are in byKey

    void Add(const std::string& path)
    {
        if (exact.insert(path).second)
            distinct.push_back(&path);
    }
    bool Holds(const std::string& path, const SamePathTest& samePath, const PathKey& pathKey)
    {
        if (exact.count(path))
            return true;
        if (!samePath)
            return false;
        if (!pathKey) {
            for (const std::string* other : distinct) {
                if (samePath(*other, path))
                    return true;
            }
            return false;
        }
        // Keys are made only once an inexact comparison is needed, and once per path.
        for (; nKeyed < distinct.size(); ++nKeyed)
            byKey[pathKey(*distinct[nKeyed])].push_back(distinct[nKeyed]);
        const auto candidates = byKey.find(pathKey(path));
        if (candidates == byKey.end())
            return false;
        for (const std::string* other : candidates->second) {
            if (samePath(*other, path))
                return true;
        }
        return false;
    }
};

}  // namespace

void MergeLogRecords(LOG_RECORD*& oldFirst, LOG_RECORD*& oldLast, LOG_RECORD*& first, LOG_RECORD*& last,
                     const SamePathTest& samePath, const PathKey& pathKey)
{
    if (!oldFirst)
        return;
    // What the new list holds, kept up to date as old records join it.
    KindPaths paths[2];
    bool present[LR_KIND_COUNT] = {};
    const auto note = [&](const LOG_RECORD* record) {
        if (IsPathKind(record->nKind))
            paths[record->nKind].Add(record->strPath);
        else if (record->nKind >= 0 && record->nKind < LR_KIND_COUNT)
            present[record->nKind] = true;
    };
    for (const LOG_RECORD* record = first; record; record = record->pNext)
        note(record);

    while (oldLast) {
        LOG_RECORD* record = oldLast;
        UnlinkRecord(oldFirst, oldLast, record);
        bool held;
        if (IsPathKind(record->nKind))
            held = paths[record->nKind].Holds(record->strPath, samePath, pathKey);
        else
            held = record->nKind >= 0 && record->nKind < LR_KIND_COUNT && present[record->nKind];
        if (held) {
            delete record;
        } else {
            PrependRecord(first, last, record);
            note(record);
        }
    }
}
