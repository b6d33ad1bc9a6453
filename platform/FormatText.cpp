// Linked into each shipped program ahead of the C runtime (like TerminateHandler.cpp): the MinGW headers
// route snprintf and vsnprintf to the runtime's own C99 formatter, which brings about 25 KB (floating point
// conversion included) into the program. The programs format only integers and strings, which the system's
// msvcrt.dll formats the same way; this gives its formatter the C99 behaviour the callers rely on: the
// return value is the length of the whole text, and the buffer, when it has room for anything, ends with a
// null character even when the text is cut.
#include <cstdarg>
#include <cstddef>

extern "C" {

int __cdecl _vscprintf(const char* format, va_list args);
int __cdecl _vsnprintf(char* buffer, size_t size, const char* format, va_list args);

int __cdecl __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args)
{
    va_list counted;
    va_copy(counted, args);
    const int length = _vscprintf(format, counted);
    va_end(counted);
    if (buffer && size > 0) {
        const int written = _vsnprintf(buffer, size - 1, format, args);
        buffer[written < 0 || static_cast<size_t>(written) >= size - 1 ? size - 1 : static_cast<size_t>(written)] =
            '\0';
    }
    return length;
}

int __cdecl __mingw_snprintf(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = __mingw_vsnprintf(buffer, size, format, args);
    va_end(args);
    return length;
}

}  // extern "C"
