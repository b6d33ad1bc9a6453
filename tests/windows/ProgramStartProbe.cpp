// Started like the shipped programs (their own entry point). Writes what it saw to the file its command line
// names: the command line after its own name, whether the static constructors ran, and the exceptions it
// caught: one thrown from within the C++ runtime's own code, and one that carries a text (the program's own
// exception memory: the runtime's record below the object fits the room it leaves). At exit a static
// destructor adds "exit". Exits with 7; with "/Uncaught " ahead of the file's name it then throws an
// exception that nothing catches.
#include <windows.h>

#include <cxxabi.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Carried {
    std::string text;
};

bool g_constructed = false;
std::string g_report;

void Append(const std::string& text)
{
    const HANDLE file = CreateFileA(g_report.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
}

struct Lifetime {
    Lifetime() { g_constructed = true; }
    ~Lifetime()
    {
        if (!g_report.empty())
            Append("exit\n");
    }
} g_lifetime;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR line, int)
{
    const char kUncaught[] = "/Uncaught ";
    const std::string args = line;
    const bool uncaught = args.rfind(kUncaught, 0) == 0;
    g_report = uncaught ? args.substr(sizeof kUncaught - 1) : args;
    std::string seen = "line [" + args + "]\n";
    if (g_constructed)
        seen += "constructed\n";
    try {
        // The runtime's operator new throws through its own frames.
        volatile size_t huge = ~size_t(0) / 2;
        seen += ::operator new(huge) ? "allocated\n" : "null\n";
    } catch (const std::bad_alloc&) {
        seen += "bad_alloc\n";
    }
    try {
        std::vector<int> empty;
        seen += std::to_string(empty.at(3));
    } catch (const std::exception&) {
        seen += "out of range\n";
    }
    try {
        throw Carried{std::string("carried, with a text longer than a short string's")};
    } catch (const Carried& e) {
        // The runtime's record of the caught exception ends at the object; its reference count lies 16 bytes
        // before the part that the globals point to.
        const char* record = *reinterpret_cast<char* const*>(abi::__cxa_get_globals());
        seen += reinterpret_cast<const char*>(&e) - record + 16 <= 256 ? "fits, " : "does not fit, ";
        seen += e.text.substr(0, 7) + "\n";
    }
    Append(seen);
    if (uncaught)
        throw uncaught;
    return 7;
}
