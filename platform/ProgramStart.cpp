// The shipped programs' entry point, in place of the C runtime's start-up object (crt2.o). That object
// prepares what these programs do not use (the argument vector, console and floating-point modes, runtime
// relocations of imported data, thread-local storage, a crash filter) and brings about 8 KB of the runtime
// with it. msvcrt.dll prepares itself when it loads; what is left is the C++ start-up: the static
// constructors (the unwinder's registration of the program's frame tables among them), WinMain with the
// command line after the program's name, and exit, which runs the destructors registered by atexit.
#include <windows.h>

#include <cstdlib>

extern "C" {

void __main();  // the C++ runtime's static constructors

// msvcrt's own table of functions run by exit.
typedef int(__cdecl* OnExitFunction)();
OnExitFunction __cdecl _onexit(OnExitFunction function);

int __cdecl atexit(void (*function)())
{
    return _onexit(reinterpret_cast<OnExitFunction>(reinterpret_cast<void*>(function))) ? 0 : -1;
}

// The loader passes nothing this needs; the stack it starts with is aligned to 4 bytes only.
__attribute__((force_align_arg_pointer, noreturn)) void ProgramStart()
{
    __main();
    // The command line without the program's name (quoted or up to the first blank) and the blanks after it.
    char* line = GetCommandLineA();
    for (bool quoted = false; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); ++line) {
        if (*line == '"')
            quoted = !quoted;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, line, show));
}

}  // extern "C"
