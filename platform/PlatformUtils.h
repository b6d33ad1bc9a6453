// Version-tolerant wrappers: system DLLs, common-controls version, visual styles, window classes,
// shell items, integers from text or string resources.
#pragma once

#include <windows.h>

#include <cstdint>

// Loads a DLL from the system folder first (an absolute path is used as given), then by the normal
// search order. Null when neither loads; the caller frees the module.
HMODULE LoadSystemLibrary(const char* name);

// The DLL's DllGetVersion as (major << 16) | minor; 0 without the DLL, the export or a successful call.
// A DLL that is not yet loaded is loaded from the system folder for the call and freed again.
DWORD GetDllVersion(const char* name);

// True when uxtheme is loaded, the application is themed and common controls 6.0 or later are in use.
bool IsVisualStyleActive();

// SetWindowTheme(hWnd, subAppName, subIdList) when visual styles are active; true when it returned S_OK.
bool ApplyWindowTheme(HWND hWnd, const wchar_t* subAppName, const wchar_t* subIdList);

// The window's class name compared with name without regard to case. Only as many characters as name
// has are read, so a class name that begins with name matches too.
bool IsWindowClass(HWND hWnd, const char* name);

// True when both paths name the same shell item (equal strings, or the desktop folder compares their
// parsed item lists equal: case and a trailing backslash do not matter). False when either cannot be parsed.
bool IsSameShellItem(const char* a, const char* b);

// The number of names (hard links) of the file at path, read without following a reparse point; 0 when
// it cannot be read.
DWORD FileLinkCount(const char* path);

// text below 0x10000 (MAKEINTRESOURCE) is the id of a string resource of the resource module, whose
// text is converted. See ParseIntegerText for the rules; the value is returned in every case.
int32_t ParseInteger(const char* text, bool* pbError = nullptr, int base = 10);

// Visual-style state is looked up once; this forgets it so the next call looks again.
void ResetVisualStyleState();
