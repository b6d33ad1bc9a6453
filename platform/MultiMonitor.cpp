#include "MultiMonitor.h"

#include "WinCompat.h"

#include <cstring>

namespace {

using GetSystemMetricsFn = int(WINAPI*)(int);
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
using MonitorFromRectFn = HMONITOR(WINAPI*)(LPCRECT, DWORD);
using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
using EnumDisplayDevicesFn = BOOL(WINAPI*)(LPCSTR, DWORD, PDISPLAY_DEVICEA, DWORD);

struct MultiMonitorApi {
    bool resolved = false;
    HMODULE source = nullptr;  // null: USER32
    GetSystemMetricsFn getSystemMetrics = nullptr;
    MonitorFromWindowFn monitorFromWindow = nullptr;
    MonitorFromRectFn monitorFromRect = nullptr;
    MonitorFromPointFn monitorFromPoint = nullptr;
    EnumDisplayMonitorsFn enumDisplayMonitors = nullptr;
    GetMonitorInfoFn getMonitorInfo = nullptr;
    EnumDisplayDevicesFn enumDisplayDevices = nullptr;
};

MultiMonitorApi g_api;

// All seven or none: a system with only some of them gets the single-monitor answers throughout.
const MultiMonitorApi& Api()
{
    if (g_api.resolved)
        return g_api;
    g_api.resolved = true;
    HMODULE user32 = g_api.source ? g_api.source : GetModuleHandleA("USER32");
    if (user32) {
        g_api.getSystemMetrics = GetProcAs<GetSystemMetricsFn>(user32, "GetSystemMetrics");
        g_api.monitorFromWindow = GetProcAs<MonitorFromWindowFn>(user32, "MonitorFromWindow");
        g_api.monitorFromRect = GetProcAs<MonitorFromRectFn>(user32, "MonitorFromRect");
        g_api.monitorFromPoint = GetProcAs<MonitorFromPointFn>(user32, "MonitorFromPoint");
        g_api.enumDisplayMonitors = GetProcAs<EnumDisplayMonitorsFn>(user32, "EnumDisplayMonitors");
        g_api.getMonitorInfo = GetProcAs<GetMonitorInfoFn>(user32, "GetMonitorInfoA");
        g_api.enumDisplayDevices = GetProcAs<EnumDisplayDevicesFn>(user32, "EnumDisplayDevicesA");
    }
    if (!g_api.getSystemMetrics || !g_api.monitorFromWindow || !g_api.monitorFromRect || !g_api.monitorFromPoint ||
        !g_api.enumDisplayMonitors || !g_api.getMonitorInfo || !g_api.enumDisplayDevices) {
        const HMODULE source = g_api.source;
        g_api = MultiMonitorApi();
        g_api.resolved = true;
        g_api.source = source;
    }
    return g_api;
}

bool HasMonitorApi() { return Api().getSystemMetrics != nullptr; }

constexpr DWORD DEFAULT_TO_SOME_MONITOR = MONITOR_DEFAULTTOPRIMARY | MONITOR_DEFAULTTONEAREST;

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

}  // namespace

void SetMultiMonitorSource(HMODULE module)
{
    g_api = MultiMonitorApi();
    g_api.source = module;
}

int xGetSystemMetrics(int index)
{
    if (HasMonitorApi())
        return Api().getSystemMetrics(index);
    switch (index) {
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN:
        return 0;
    case SM_CXVIRTUALSCREEN:
        return ScreenWidth();
    case SM_CYVIRTUALSCREEN:
        return ScreenHeight();
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
        return 1;
    default:
        return GetSystemMetrics(index);
    }
}

HMONITOR xMonitorFromRect(LPCRECT rect, DWORD flags)
{
    if (HasMonitorApi())
        return Api().monitorFromRect(rect, flags);
    if (flags & DEFAULT_TO_SOME_MONITOR)
        return PRIMARY_MONITOR_PSEUDO_HANDLE;
    if (rect && rect->right > 0 && rect->bottom > 0 && rect->left < ScreenWidth() && rect->top < ScreenHeight())
        return PRIMARY_MONITOR_PSEUDO_HANDLE;
    return nullptr;
}

HMONITOR xMonitorFromWindow(HWND hWnd, DWORD flags)
{
    if (HasMonitorApi())
        return Api().monitorFromWindow(hWnd, flags);
    if (flags & DEFAULT_TO_SOME_MONITOR)
        return PRIMARY_MONITOR_PSEUDO_HANDLE;
    RECT rect;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (IsIconic(hWnd)) {
        if (!GetWindowPlacement(hWnd, &placement))
            return nullptr;
        rect = placement.rcNormalPosition;
    } else if (!GetWindowRect(hWnd, &rect)) {
        return nullptr;
    }
    return xMonitorFromRect(&rect, flags);
}

HMONITOR xMonitorFromPoint(POINT pt, DWORD flags)
{
    if (HasMonitorApi())
        return Api().monitorFromPoint(pt, flags);
    if ((flags & DEFAULT_TO_SOME_MONITOR) ||
        (pt.x >= 0 && pt.y >= 0 && pt.x < ScreenWidth() && pt.y < ScreenHeight()))
        return PRIMARY_MONITOR_PSEUDO_HANDLE;
    return nullptr;
}

BOOL xGetMonitorInfo(HMONITOR hMonitor, LPMONITORINFO info)
{
    if (HasMonitorApi())
        return Api().getMonitorInfo(hMonitor, info);
    RECT work;
    if (hMonitor != PRIMARY_MONITOR_PSEUDO_HANDLE || !info || info->cbSize < sizeof(MONITORINFO) ||
        !SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        return FALSE;
    SetRect(&info->rcMonitor, 0, 0, ScreenWidth(), ScreenHeight());
    info->rcWork = work;
    info->dwFlags = MONITORINFOF_PRIMARY;
    if (info->cbSize >= sizeof(MONITORINFOEXA)) {
        auto* extended = reinterpret_cast<MONITORINFOEXA*>(info);
        std::strcpy(extended->szDevice, "DISPLAY");
    }
    return TRUE;
}

BOOL xEnumDisplayMonitors(HDC hdc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data)
{
    if (HasMonitorApi())
        return Api().enumDisplayMonitors(hdc, clip, proc, data);
    if (!proc)
        return FALSE;
    // The one monitor, cut to the device context's visible area and the clip rectangle.
    RECT rect = {0, 0, ScreenWidth(), ScreenHeight()};
    if (hdc) {
        RECT box;
        if (GetClipBox(hdc, &box) == ERROR || !IntersectRect(&rect, &rect, &box))
            return TRUE;
    }
    if (clip && !IntersectRect(&rect, &rect, clip))
        return TRUE;
    proc(PRIMARY_MONITOR_PSEUDO_HANDLE, hdc, &rect, data);
    return TRUE;
}

BOOL xEnumDisplayDevices(LPCSTR device, DWORD devNum, PDISPLAY_DEVICEA displayDevice, DWORD flags)
{
    if (HasMonitorApi())
        return Api().enumDisplayDevices(device, devNum, displayDevice, flags);
    // One display adapter: the primary one.
    if (device || devNum != 0 || !displayDevice || displayDevice->cb < sizeof(DISPLAY_DEVICEA))
        return FALSE;
    std::strcpy(displayDevice->DeviceName, "DISPLAY");
    std::strcpy(displayDevice->DeviceString, "DISPLAY");
    displayDevice->StateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE;
    displayDevice->DeviceID[0] = '\0';
    displayDevice->DeviceKey[0] = '\0';
    return TRUE;
}
