/* Test library for the version reader and GetDllVersion: optionally exports DllGetVersion. */
#include <windows.h>
#include <shlwapi.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

#ifdef QU_DLLGETVERSION_RESULT
/* Says 5.82 (as common controls 5.82 would) and returns QU_DLLGETVERSION_RESULT. Exported by
   VersionTestDllGetVersion.def under its undecorated name, also on i686. */
HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO* info)
{
    if (!info || info->cbSize < sizeof(DLLVERSIONINFO))
        return E_INVALIDARG;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 82;
    info->dwBuildNumber = 1;
    info->dwPlatformID = DLLVER_PLATFORM_WINDOWS;
    return QU_DLLGETVERSION_RESULT;
}
#endif

#ifdef QU_FAKE_METRICS
/* Exported as "GetSystemMetrics" (VersionTestMetrics.def): one of the seven multi-monitor entry points
   without the other six. */
int WINAPI FakeSystemMetrics(int index)
{
    (void)index;
    return 777;
}
#endif
