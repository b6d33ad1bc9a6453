// Fuzzes the placeholder expansion of destination paths (archive bytes) and the destination name rules:
// the expansion ends, resolves each placeholder at most once, and never scans substituted text again.
#include "ArchiveFormat.h"
#include "PlaceholderExpansion.h"

#include <cstdlib>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // First bytes: the length of the install folder's value, then the folder and the path.
    const size_t folderLength = data[0] % 32 < size - 1 ? data[0] % 32 : size - 1;
    const std::string folder(reinterpret_cast<const char*>(data) + 1, folderLength);
    const std::string path(reinterpret_cast<const char*>(data) + 1 + folderLength, size - 1 - folderLength);

    std::map<std::string, int> resolved;
    PlaceholderEnvironment env;
    env.installFolder = TrimFolderValue(folder);
    env.samplesFolder = data[0] & 0x80 ? "" : "rel<InstallPath>";
    env.resolve = [&](const std::string& token) -> std::string {
        if (token.size() < 2 || token.front() != '<' || token.back() != '>' || ++resolved[token] > 1)
            std::abort();
        return token == "<CommonDesktop>" ? "C:\\Desk<Desktop>" : token == "<WinDir>" ? "" : "C:\\W";
    };
    env.isRelative = [](const std::string& p) { return p.size() < 2 || p[1] != ':'; };
    env.append = [](const std::string& a, const std::string& b) { return a + "\\" + b; };
    const std::string expanded = ExpandPlaceholderText(path, env);
    // Each value is short and substituted at most once per placeholder occurrence.
    if (expanded.size() > 64 * (path.size() + 1))
        std::abort();

    const std::string trimmed = TrimFolderValue(folder);
    if (folder.find(trimmed) == std::string::npos || (!trimmed.empty() && (trimmed[0] == ' ' || trimmed[0] == '\t')))
        std::abort();

    // Every component of the path against the name rules (only their answer's form is checked).
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (const char* problem = DestinationNameProblem(path.substr(start, end - start)))
            if (!*problem)
                std::abort();
        start = end + 1;
    }
    return 0;
}
