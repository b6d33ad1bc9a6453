// Records of the uninstall log and the doubly linked lists that hold them. Pure: no system calls, so the
// list handling and the merge of a previous installation's records build natively and can be fuzzed.
#pragma once

#include "UninstallLogFormat.h"

#include <cstdint>
#include <functional>
#include <string>

// One recorded change, linked into one of the log's two lists.
struct LOG_RECORD {
    int32_t nKind = LR_FOLDER;
    std::string strPath;    // folder, file or link; empty for kinds 5 and 6 until written
    std::string strBackup;  // temporary copy of the item as it was; always empty when read from a file
    uint8_t bDone = 0;      // 1 when the change was made
    int32_t nCode = -1;     // LR_FILE: the payload entry kind; -1 for every other kind
    LOG_RECORD* pPrev = nullptr;
    LOG_RECORD* pNext = nullptr;
    // Where strBackup goes back to on undo when that is not strPath: the previous installation's link,
    // which may have had another name than the new one (or the new link may not exist at all).
    std::string strBackupOrigin;
    // The item existed before this run. Undo leaves such an item in place when it could not be saved: an
    // LR_UNINSTALL_KEY is not deleted as a key the run created, an LR_FILE that was not replaced (bDone 0)
    // is not deleted as a file the run wrote.
    bool bExisted = false;
    // LR_FILE backed up by a copy: the file stays in place (a shared file taken over, or a file that the
    // extractor replaces only once the new one is complete). Undo does not delete one that existed when its
    // copy could not be made, and keeps one that was never replaced (not done).
    bool bCopyBackup = false;
    // LR_FILE with a backup: the file's own security descriptor (its DACL) as it was, written back with the
    // backup on undo, since a backup made in the private backup folder takes that folder's access list.
    std::string strBackupSecurity;
};

// List operations; a list is the pair (first, last), both null when empty.
void AppendRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record);
void PrependRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record);
// Takes record out of the list; its own links are cleared.
void UnlinkRecord(LOG_RECORD*& first, LOG_RECORD*& last, LOG_RECORD* record);
// Deletes every record of the list and leaves it empty.
void FreeRecords(LOG_RECORD*& first, LOG_RECORD*& last);

// True when two paths name the same item. Only asked when the strings differ.
using SamePathTest = std::function<bool(const std::string& a, const std::string& b)>;
// A key that two paths naming the same item always share (a normalised spelling): only paths with equal
// keys are given to the SamePathTest.
using PathKey = std::function<std::string(const std::string& path)>;

// Merges the previous installation's records (old list) into this run's (new list). The old records are
// taken from the last to the first; one is freed when the new list already holds a record of its kind that,
// for LR_FOLDER and LR_FILE, names the same path (equal strings, or samePath), and for the other kinds is
// simply of that kind; otherwise it moves to the front of the new list. Afterwards the new list holds the
// surviving old records in their former order, then this run's records; the old list is empty.
// samePath is asked only when no record of the kind has the path as an exact string, and with pathKey only
// about paths of equal keys; either may be null.
void MergeLogRecords(LOG_RECORD*& oldFirst, LOG_RECORD*& oldLast, LOG_RECORD*& first, LOG_RECORD*& last,
                     const SamePathTest& samePath, const PathKey& pathKey = nullptr);
