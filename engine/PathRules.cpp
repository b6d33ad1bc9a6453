#include "PathRules.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsPlainFullPath(const std::string& path)
{
    size_t start;
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) {
        start = 3;
    } else if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        // \\server\share: the server and the share must be names too.
        start = 2;
        for (int part = 0; part < 2; ++part) {
            size_t end = start;
            while (end < path.size() && !IsSeparator(path[end]))
                ++end;
            const std::string name = path.substr(start, end - start);
            if (name.empty() || name == "." || name == ".." || name == "?")
                return false;
            start = end + (end < path.size() ? 1 : 0);
        }
    } else {
        return false;
    }
    for (size_t pos = start; pos <= path.size();) {
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::string component = path.substr(pos, end - pos);
        if (component == "." || component == ".." || component.find(':') != std::string::npos)
            return false;
        pos = end + 1;
    }
    return true;
}
