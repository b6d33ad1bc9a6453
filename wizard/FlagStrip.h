// The language list's flags: all of them added to an image list in one step.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

// The size at which a flag icon is loaded (the image list's images may be wider).
constexpr int FLAG_WIDTH = 16;
constexpr int FLAG_HEIGHT = 12;

// A flag's image as the strip draws it: the header of its colour part (the height of that part alone) and
// its colours, as in a BITMAPINFO.
struct FlagBits {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// Reads the image of an icon resource (header, colours, colour rows, mask rows) when it is an opaque bitmap
// of exactly the flag size with 2, 16 or 256 colours, all of it within size bytes: fills flag and returns
// its colour rows, else nullptr.
const BYTE* ReadFlagImage(const BYTE* image, DWORD size, FlagBits& flag);

// Appends the flags of the languages (indices of the language table) to the image list, in their order.
// Returns the index of the first flag's image, or -1 (nothing added).
int AppendFlagStrip(HIMAGELIST hList, HINSTANCE hModule, const std::vector<int>& languages);
