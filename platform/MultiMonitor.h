// Multi-monitor queries that work on systems without the multi-monitor functions: the real USER32
// functions when all seven exist, otherwise single-monitor answers for the primary screen.
#pragma once

#include <windows.h>

// Stands for the primary monitor when the system has no monitor functions.
#define PRIMARY_MONITOR_PSEUDO_HANDLE (reinterpret_cast<HMONITOR>(static_cast<INT_PTR>(0x12340042)))

int xGetSystemMetrics(int index);
HMONITOR xMonitorFromWindow(HWND hWnd, DWORD flags);
HMONITOR xMonitorFromRect(LPCRECT rect, DWORD flags);
HMONITOR xMonitorFromPoint(POINT pt, DWORD flags);
BOOL xGetMonitorInfo(HMONITOR hMonitor, LPMONITORINFO info);
BOOL xEnumDisplayMonitors(HDC hdc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data);
BOOL xEnumDisplayDevices(LPCSTR device, DWORD devNum, PDISPLAY_DEVICEA displayDevice, DWORD flags);

// Forgets the resolved entry points; the next call resolves them from module instead of USER32
// (null: USER32 again). A module without the seven functions selects the single-monitor answers.
void SetMultiMonitorSource(HMODULE module);
