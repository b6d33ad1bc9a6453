// A window's picture as the screen shows it, written as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

// Repaints the window and its children, waits until the picture has reached the display, and copies the
// window's rectangle (frame included) from the screen. False when nothing could be copied or written.
bool SaveWindowPicture(HWND hwnd, const std::string& bmpPath);
