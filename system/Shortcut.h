// Shell links (.lnk files) made through the shell's link object.
#pragma once

#include <string>

// Saves the link folder\name.lnk to target, with the target's folder as working folder. On success the link
// file's full path goes to pstrLinkPath when given. False when the target has no folder part, a path does not
// fit in MAX_PATH, COM cannot be initialised on this thread, or the link object fails; nothing is reported.
// Initialises COM on the calling thread for the call and uninitialises it afterwards.
bool CreateShortcut(const char* target, const char* folder, const char* name, std::string* pstrLinkPath = nullptr);
