#include "WindowsVersion.h"

const char* GlobalPrefixFor(unsigned long platformId, unsigned long majorVersion)
{
    return platformId == QU_PLATFORM_WIN32_NT && majorVersion >= 5 ? "Global\\" : "";
}

bool IsSupportedWindowsVersion(unsigned long majorVersion, unsigned long minorVersion)
{
    if (majorVersion < 6)
        return true;
    if (majorVersion == 6)
        return minorVersion <= 3;
    return majorVersion == 10 && minorVersion == 0;
}
