// Text rules of the folder tree dialog's paths (pure: no <windows.h>).
#pragma once

#include <string>

// The path ends with the sub-folder: its last characters are exactly the sub-folder (case-sensitive bytes,
// no separator required before them). An empty sub-folder never matches.
bool EndsWithSubFolder(const std::string& path, const std::string& subFolder);

// The accepted path split into the chosen folder and the sub-folder: the folder is the path without the
// sub-folder when the path ends with it, else the path, and the sub-folder is emptied. Trailing backslashes
// are removed from the folder and the path.
void SplitSubFolder(std::string& path, std::string& subFolder, std::string& folder);

// Removes every trailing backslash.
void RemoveTrailingBackslashes(std::string& path);

// A relative path of "." (the base itself) is the empty text.
std::string DotAsEmpty(const std::string& relative);
