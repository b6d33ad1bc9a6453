// Reporting errors to the user: the system's text for an error code in a warning message box.
#pragma once

#include <windows.h>

#include <string>

// Text shown when the system has no message for a code.
constexpr const char* UNKNOWN_ERROR_TEXT = "An unknown error has occurred.";

// Shows the system's message text for code (a Win32 error or an HRESULT) with MB_ICONEXCLAMATION.
// format: null or "%s" shows the text alone, any other printf format gets the text as its argument.
// language: 0 for the system's default language search.
void ReportSystemError(DWORD code, const char* format, DWORD language);

// Message box with the application's caption and owner handling; returns the MessageBox result
// (0 when it cannot be shown).
int ShowMessageBox(const char* text, const char* caption, UINT style);

// The caption ShowMessageBox uses: the given one when not empty, else the application's name, else the
// program's title from its version information, else the program's file name. Never reports errors.
std::string GetMessageBoxCaption(const char* caption);

// The program's title from its version information (product name, a blank, product version, and
// " - Private" / " - Debug" for such builds), read without reporting errors; false when unavailable.
bool ReadProgramTitle(std::string& title);
