// Install sequence decisions: progress position, extraction error code, per-entry decisions.
#include "InstallRules.h"
#include "StartupRules.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ProgressPosition, RoundsHalvesUpDespiteDivisionErrorAndStopsAt99UntilDone)
{
    struct Case {
        uint32_t done, total;
        int position;
    };
    const Case cases[] = {
        {0, 0, 0},            // before the directory is decoded
        {123, 0, 0},
        {0, 1000, 0},
        {1, 200, 1},          // 0.5 -> 1
        {1, 201, 0},
        {57, 200, 29},        // 28.499999999999996 in floating point: the scale makes it 28.5
        {29, 200, 15},        // 14.499999999999998 likewise
        {1, 3, 33},
        {2, 3, 67},
        {199, 200, 99},       // 99.5 would round to 100 while bytes are missing
        {9999999, 10000000, 99},
        {200, 200, 100},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 100},
        {1, 0xFFFFFFFFu, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComputeProgressPosition(c.done, c.total), c.position) << c.done << "/" << c.total;
}

TEST(ExtractionErrorCode, KindAndSystemCodeOnlyForSystemErrors)
{
    EXPECT_EQ(FormatExtractionErrorCode(1, 0x20), "1:00000020");
    EXPECT_EQ(FormatExtractionErrorCode(1, 5), "1:00000005");
    EXPECT_EQ(FormatExtractionErrorCode(1, 0xC000000Fu), "1:C000000F");
    EXPECT_EQ(FormatExtractionErrorCode(4, 0x20), "4:00000000");
    EXPECT_EQ(FormatExtractionErrorCode(3, 0), "3:00000000");
    EXPECT_EQ(FormatExtractionErrorCode(6, 7), "6:00000000");
}

TEST(EntryDecision, SharedDataIsNeverOverwrittenAndSamplesStayOnUpdates)
{
    const int statuses[] = {INSTALL_STATUS_NONE, INSTALL_STATUS_SAME, INSTALL_STATUS_OLDER, INSTALL_STATUS_NEWER};
    for (int status : statuses) {
        for (int kept = 0; kept < 2; ++kept) {
            for (int exists = 0; exists < 2; ++exists) {
                for (int kind : {ENTRY_ORDINARY, ENTRY_MAIN_PROGRAM, ENTRY_UNINSTALLER, 7, -1})
                    EXPECT_EQ(DecideEntry(kind, status, kept, exists), EntryDecision::Write);
                EXPECT_EQ(DecideEntry(ENTRY_SAMPLE, status, kept, exists),
                          status == INSTALL_STATUS_OLDER ? EntryDecision::SkipSample : EntryDecision::Write);
                EntryDecision shared = exists ? EntryDecision::TakeOver : EntryDecision::Write;
                // The previous log counts only when an installation was detected.
                if (kept && status != INSTALL_STATUS_NONE)
                    shared = EntryDecision::KeepSilently;
                EXPECT_EQ(DecideEntry(ENTRY_SHARED_DATA, status, kept, exists), shared)
                    << status << " " << kept << " " << exists;
            }
        }
    }
}

}  // namespace
