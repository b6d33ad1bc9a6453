// The language list's flags: all of them added to an image list in one step.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

// The size at which a flag icon is loaded (the image list's images may be wider).
constexpr int FLAG_WIDTH = 16;
constexpr int FLAG_HEIGHT = 12;

// Appends the flags of the languages (indices of the language table) to the image list, in their order.
// Returns the index of the first flag's image, or -1 (nothing added).
int AppendFlagStrip(HIMAGELIST hList, HINSTANCE hModule, const std::vector<int>& languages);
