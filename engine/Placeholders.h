// Placeholders of payload destination paths resolved against this machine's folders.
#pragma once

#include <windows.h>

#include <string>

// Fills buffer with the system's Windows folder and returns its length (0 on failure), as
// GetSystemWindowsDirectoryA where the system has it, else GetWindowsDirectoryA.
UINT GetWindowsFolder(char* buffer, UINT size);

// Value of one placeholder other than <InstallPath> and <SamplePath> ("<CommonData>" ...), with its
// fallbacks; empty when unknown or when every lookup fails.
std::string ResolvePlaceholder(const std::string& token);

// The shell-folder lookup (SHGetSpecialFolderPathA without creating the folder); false when unavailable.
bool GetShellFolder(int csidl, std::string& out);
typedef bool (*ShellFolderLookup)(int csidl, std::string& out);
// ResolvePlaceholder with another shell-folder lookup, so that the fallbacks can be exercised.
std::string ResolvePlaceholder(const std::string& token, ShellFolderLookup lookup);

// Expands every placeholder of path with the given installation and samples folders (already trimmed).
std::string ExpandPathPlaceholders(const std::string& path, const std::string& installFolder,
                                   const std::string& samplesFolder);
