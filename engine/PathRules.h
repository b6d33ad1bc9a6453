// Rules for paths that come from files (archive destinations, uninstall log records) before any file is
// written or removed under them. Pure: no <windows.h>.
#pragma once

#include <string>

// True when path is a full path that names exactly the item it spells out: a drive ("C:\") or a UNC share
// ("\\server\share") followed by components none of which is "." or "..", and no ':' after the drive.
// Components are separated by '\' or '/', as Windows takes both. Empty components ("a\\b") are allowed:
// Windows reads them as one separator. Length is not checked here.
bool IsPlainFullPath(const std::string& path);
