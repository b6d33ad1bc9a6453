// Expansion of the placeholders in payload destination paths ("<InstallPath>\x.dll"). Pure logic: the
// folder lookups and the path functions come in through PlaceholderEnvironment.
#pragma once

#include <functional>
#include <string>

constexpr const char* PLACEHOLDER_INSTALL_PATH = "<InstallPath>";
constexpr const char* PLACEHOLDER_SAMPLE_PATH = "<SamplePath>";
constexpr const char* PLACEHOLDER_COMMON_DESKTOP = "<CommonDesktop>";

struct PlaceholderEnvironment {
    std::string installFolder;  // value of <InstallPath>
    std::string samplesFolder;  // value of <SamplePath>; empty = the all-users desktop
    // Value of any other placeholder, angle brackets included; empty for an unknown one.
    std::function<std::string(const std::string& token)> resolve;
    // The system's path tests: is the path relative, and the join of a folder and a path.
    std::function<bool(const std::string& path)> isRelative;
    std::function<std::string(const std::string& folder, const std::string& more)> append;
};

// Replaces every "<...>" placeholder of path by its value, left to right; a "<" without a later ">"
// stops the expansion and leaves the rest as it is. Substituted values are never scanned again, so the
// expansion ends for every input, also when a folder itself contains "<...>". The one exception is the
// samples rule: when "<SamplePath>" makes the whole path relative, "<CommonDesktop>" is put in front of it
// and expanded too. Each distinct placeholder is resolved once.
std::string ExpandPlaceholderText(const std::string& path, const PlaceholderEnvironment& env);

// A folder value as the extractor keeps it: white space trimmed at both ends, one trailing backslash removed.
std::string TrimFolderValue(const std::string& folder);
