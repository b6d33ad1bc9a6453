// Linked into each shipped program ahead of the C++ runtime: libstdc++'s own handler prints the type of an
// uncaught exception to a standard error that a Windows program has not got, and brings the whole C++ name
// demangler (about 46 KB) with it. An uncaught exception still ends the program through abort.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler();
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
