// Command-line splitting shared by the demo's programs.
#pragma once

#include <string>
#include <vector>

// Splits arguments (without the program name) at blanks and tabs; double quotes group a path with blanks
// and are dropped.
inline std::vector<std::string> SplitArguments(const char* args)
{
    std::vector<std::string> tokens;
    const char* p = args != nullptr ? args : "";
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0')
            break;
        std::string token;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '"')
                quoted = !quoted;
            else
                token += *p;
            ++p;
        }
        tokens.push_back(token);
    }
    return tokens;
}
