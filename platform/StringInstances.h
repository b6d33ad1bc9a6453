// Included ahead of every C++ source of the Windows programs (top CMakeLists.txt). libstdc++ declares
// std::string and std::wstring as instantiated in the runtime library, so a program that uses one member links
// the runtime's whole instantiation (about 35 KB each for the i686 programs). With this value only the
// string's extern declarations are left out and each program instantiates the members it uses; every
// other extern template of the library stays.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
