// Decisions of the install sequence that need no system: the progress position, the extraction error
// code text and what to do with each payload entry. Pure: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

// Payload entry kinds.
constexpr int ENTRY_ORDINARY = 0;
constexpr int ENTRY_MAIN_PROGRAM = 1;
constexpr int ENTRY_UNINSTALLER = 2;
constexpr int ENTRY_SHARED_DATA = 3;
constexpr int ENTRY_SAMPLE = 4;

// Progress bar position 0 to 100 for done of total content bytes: the percent rounded half away from
// zero, never 100 while bytes are still missing; 0 before the total is known.
int ComputeProgressPosition(uint32_t done, uint32_t total);

// "%d:%08X": the extractor's error kind and, for a system error only, the system error code.
std::string FormatExtractionErrorCode(int errorKind, uint32_t systemError);

// What the extraction callback does with an entry at its start.
enum class EntryDecision {
    Write,          // written and recorded
    TakeOver,       // an existing shared-data file: recorded as done with a copy backup, kept, access granted
    KeepSilently,   // a shared-data file the previous installation wrote: access granted, kept, not recorded
    SkipSample,     // a sample on an update from an older version: left alone, not recorded
};

// installStatus: the installation context's status (0 none, 1 same, 2 older, -1 newer); keptFile: the
// previous log lists the path as written; exists: a file is at the path.
EntryDecision DecideEntry(int kind, int installStatus, bool keptFile, bool exists);
