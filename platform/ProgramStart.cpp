// The shipped programs' entry point, in place of the C runtime's start-up object (crt2.o). That object
// prepares what these programs do not use (the argument vector, console and floating-point modes, runtime
// relocations of imported data, thread-local storage, a crash filter) and brings about 8 KB of the runtime
// with it. msvcrt.dll prepares itself when it loads; what is left is the C++ start-up: the static
// constructors (the unwinder's registration of the program's frame tables among them), WinMain with the
// command line after the program's name, and exit, which runs the destructors registered by atexit. Of the
// crash filter the 64-bit programs keep what their uncaught C++ exceptions need.
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

}  // extern "C"

#if defined(__SEH__)
namespace {

// The unwinder of the 64-bit programs raises each C++ exception as a system exception. One that no frame
// catches comes to the process's last filter: continued there, the unwinder returns and the C++ runtime calls
// std::terminate, as for any uncaught exception; otherwise the system ends the program as crashed (or starts a
// debugger). The runtime's start-up object installs the same filter.
constexpr DWORD kUnwinderExceptionMask = 0x20FFFFFF;
constexpr DWORD kUnwinderException = 0x20474343;  // "GCC", with the customer bit

LONG WINAPI ContinueUnwinderException(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if ((record->ExceptionCode & kUnwinderExceptionMask) == kUnwinderException &&
        !(record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace
#endif

extern "C" {

// The loader passes nothing this needs; the stack it starts with is aligned to 4 bytes only.
__attribute__((force_align_arg_pointer, noreturn)) void ProgramStart()
{
#if defined(__SEH__)
    SetUnhandledExceptionFilter(ContinueUnwinderException);
#endif
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
