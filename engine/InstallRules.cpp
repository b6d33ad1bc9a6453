#include "InstallRules.h"

#include "ProductConstants.h"

#include <cmath>
#include <cstdio>

int ComputeProgressPosition(uint32_t done, uint32_t total)
{
    if (total == 0)
        return 0;
    const double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    if (std::fabs(percent) < 1e-12)
        return 0;
    // The scale absorbs the error of the division, so that an exact half (12.5 %) is not seen as 12.4999...
    const double scaled = percent * (1.0 + std::ldexp(1.0, -48));
    int position = static_cast<int>(std::round(scaled));
    if (position >= 100 && done < total)
        position = 99;
    return position;
}

std::string FormatExtractionErrorCode(int errorKind, uint32_t systemError)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%08X", errorKind, errorKind == 1 ? static_cast<unsigned>(systemError) : 0u);
    return text;
}

EntryDecision DecideEntry(int kind, int installStatus, bool keptFile, bool exists)
{
    switch (kind) {
    case ENTRY_SHARED_DATA:
        if (installStatus != INSTALL_STATUS_NONE && keptFile)
            return EntryDecision::KeepSilently;
        return exists ? EntryDecision::TakeOver : EntryDecision::Write;
    case ENTRY_SAMPLE:
        return installStatus == INSTALL_STATUS_OLDER ? EntryDecision::SkipSample : EntryDecision::Write;
    default:
        return EntryDecision::Write;
    }
}
