#include "FolderPathText.h"

bool EndsWithSubFolder(const std::string& path, const std::string& subFolder)
{
    return !subFolder.empty() && path.size() >= subFolder.size() &&
           path.compare(path.size() - subFolder.size(), subFolder.size(), subFolder) == 0;
}

void RemoveTrailingBackslashes(std::string& path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
}

void SplitSubFolder(std::string& path, std::string& subFolder, std::string& folder)
{
    if (subFolder.empty()) {
        folder = path;
    } else if (EndsWithSubFolder(path, subFolder)) {
        folder = path.substr(0, path.size() - subFolder.size());
    } else {
        subFolder.clear();
        folder = path;
    }
    RemoveTrailingBackslashes(folder);
    RemoveTrailingBackslashes(path);
}

std::string DotAsEmpty(const std::string& relative) { return relative == "." ? std::string() : relative; }
