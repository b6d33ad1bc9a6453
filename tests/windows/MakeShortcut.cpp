// make-shortcut.exe TARGET FOLDER NAME: makes one link with CreateShortcut and prints its path.
#include "Shortcut.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make-shortcut TARGET FOLDER NAME\n");
        return 2;
    }
    std::string linkPath;
    if (!CreateShortcut(argv[1], argv[2], argv[3], &linkPath)) {
        std::fprintf(stderr, "CreateShortcut failed\n");
        return 1;
    }
    std::printf("%s\n", linkPath.c_str());
    return 0;
}
