// Rules that depend on the Windows version record alone. Pure: no <windows.h>, built natively too.
#pragma once

// Platform identifiers of the version record (dwPlatformId).
constexpr unsigned long QU_PLATFORM_WIN32_WINDOWS = 1;  // Windows 9x family
constexpr unsigned long QU_PLATFORM_WIN32_NT = 2;

// "Global\" on NT 5 and later, where named objects live per session unless put in the machine-wide
// namespace; "" on NT 4 (no sessions) and on the 9x family.
const char* GlobalPrefixFor(unsigned long platformId, unsigned long majorVersion);

// The installer runs below 6, on 6.0 to 6.3, and on exactly 10.0.
bool IsSupportedWindowsVersion(unsigned long majorVersion, unsigned long minorVersion);
