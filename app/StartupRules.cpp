#include "StartupRules.h"

#include "Languages.h"

#include <cctype>

std::string GetProductNameFor(int language, bool bNoVersion)
{
    std::string name = language == 0 ? PRODUCT_NAME_FRENCH : PRODUCT_NAME_OTHER;
    if (!bNoVersion) {
        name += ' ';
        name += PRODUCT_DISPLAY_VERSION;
    }
    return name;
}

std::string GetShortProductNameFor(int language) { return GetProductNameFor(language, true) + " 5"; }

std::string ComposeTitle(const std::string& installerWord, int language, bool bProduct)
{
    if (!bProduct)
        return installerWord;
    return installerWord + " -- " + GetProductNameFor(language, false);
}

int CompareInstalledVersion(uint64_t installedVersion)
{
    if (installedVersion == 0 || installedVersion == INSTALLER_VERSION)
        return INSTALL_STATUS_SAME;
    return INSTALLER_VERSION > installedVersion ? INSTALL_STATUS_OLDER : INSTALL_STATUS_NEWER;
}

int SettleStartupLanguage(int detected, bool storedRead, uint32_t stored)
{
    int language = detected;
    // The stored value is a DWORD: anything outside the table is not offered.
    if (storedRead && stored < static_cast<uint32_t>(LANGUAGE_COUNT) && IsLanguageOffered(static_cast<int>(stored)))
        language = static_cast<int>(stored);
    if (language < 0 || language >= LANGUAGE_COUNT || !HasInstallerTexts(language))
        language = 1;
    return language;
}

std::string ProgramPathFromDisplayIcon(const std::string& value)
{
    std::string path = value;
    // A trailing ",index" (optionally signed) names the icon, not the file.
    const size_t comma = path.rfind(',');
    if (comma != std::string::npos) {
        size_t i = comma + 1;
        while (i < path.size() && path[i] == ' ')
            ++i;
        if (i < path.size() && (path[i] == '-' || path[i] == '+'))
            ++i;
        const size_t digits = i;
        while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i])))
            ++i;
        while (i < path.size() && path[i] == ' ')
            ++i;
        if (i == path.size() && i > digits)
            path.erase(comma);
    }
    while (!path.empty() && path.back() == ' ')
        path.pop_back();
    size_t start = 0;
    while (start < path.size() && path[start] == ' ')
        ++start;
    path.erase(0, start);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    return path;
}
