// Run-time lookup of entry points, and whatever declarations the MinGW-w64 headers lack (none so far).
#pragma once

#include <windows.h>

// GetProcAddress result as the typed function pointer F, through a generic function pointer type
// (a direct cast between unrelated function types trips -Wcast-function-type). Null when missing.
template <class F>
F GetProcAs(HMODULE module, const char* name)
{
    using Generic = void (*)();
    return reinterpret_cast<F>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
}
