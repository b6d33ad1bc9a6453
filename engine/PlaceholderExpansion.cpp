#include "PlaceholderExpansion.h"

#include <map>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

std::string TrimFolderValue(const std::string& folder)
{
    size_t begin = 0, end = folder.size();
    while (begin < end && IsBlank(folder[begin]))
        ++begin;
    while (end > begin && IsBlank(folder[end - 1]))
        --end;
    if (end > begin && folder[end - 1] == '\\')
        --end;
    return folder.substr(begin, end - begin);
}

std::string ExpandPlaceholderText(const std::string& path, const PlaceholderEnvironment& env)
{
    std::map<std::string, std::string> values;
    auto valueOf = [&](const std::string& token) -> const std::string& {
        auto it = values.find(token);
        if (it == values.end())
            it = values.emplace(token, env.resolve ? env.resolve(token) : std::string()).first;
        return it->second;
    };

    std::string out;
    bool samplesPlaced = false;  // "<SamplePath>" was replaced by a non-empty samples folder
    size_t pos = 0;
    while (pos < path.size()) {
        const size_t open = path.find('<', pos);
        const size_t close = open == std::string::npos ? std::string::npos : path.find('>', open + 1);
        if (close == std::string::npos) {
            out.append(path, pos, std::string::npos);
            break;
        }
        out.append(path, pos, open - pos);
        const std::string token = path.substr(open, close - open + 1);
        if (token == PLACEHOLDER_INSTALL_PATH) {
            out += env.installFolder;
        } else if (token == PLACEHOLDER_SAMPLE_PATH) {
            if (env.samplesFolder.empty()) {
                out += valueOf(PLACEHOLDER_COMMON_DESKTOP);
            } else {
                out += env.samplesFolder;
                samplesPlaced = true;
            }
        } else {
            out += valueOf(token);
        }
        pos = close + 1;
    }

    // A samples folder given as a bare name lands on the all-users desktop.
    if (samplesPlaced && env.isRelative && env.append && env.isRelative(out)) {
        const std::string marker = PLACEHOLDER_COMMON_DESKTOP;
        std::string joined = env.append(marker, out);
        if (joined.compare(0, marker.size(), marker) == 0)
            joined.replace(0, marker.size(), valueOf(marker));
        out = joined;
    }
    return out;
}
