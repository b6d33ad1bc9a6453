// startup-bench PROGRAM RUNS [COMBO_ID]: starts PROGRAM RUNS times and measures, for each run, the time
// from CreateProcess to the program's first visible dialog (#32770) holding a visible control COMBO_ID (at
// any depth, default 1023: the wizard's language list). It polls every 5 ms: often enough for the figure,
// rarely enough not to load the wine server that the program itself needs. Prints one line per run in
// milliseconds and the median. Each run is then closed: Cancel posted to the dialog, a question that
// follows answered Yes, the process waited for (terminated after 20 s).
#include "WindowDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class ProcessHandles {
public:
    explicit ProcessHandles(const PROCESS_INFORMATION& pi) : m_pi(pi) {}
    ~ProcessHandles()
    {
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;

private:
    PROCESS_INFORMATION m_pi;
};

// Milliseconds to the visible dialog; negative when the program did not start or showed none in 60 s.
double MeasureRun(const std::string& program, int comboId)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    std::string command = "\"" + program + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    const ProcessHandles handles(pi);
    // The dialog counts once the list is shown in it.
    const auto listShown = [comboId](HWND dialog) {
        const HWND combo = FindDescendant(dialog, comboId);
        return combo && IsWindowVisible(combo);
    };
    double elapsed = -1;
    HWND found = nullptr;
    for (;;) {
        found = FindProcessDialog(pi.dwProcessId, nullptr, listShown);
        QueryPerformanceCounter(&now);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
        if (found) {
            elapsed = ms;
            break;
        }
        if (ms > 60000 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
        Sleep(5);
    }
    if (found) {
        PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (WaitForSingleObject(pi.hProcess, 300) == WAIT_TIMEOUT)
            AnswerMessageBox(pi.dwThreadId, IDYES, found, 5000);
    }
    if (WaitForSingleObject(pi.hProcess, 20000) == WAIT_TIMEOUT)
        TerminateProcess(pi.hProcess, 1);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: startup-bench PROGRAM RUNS [COMBO_ID]\n");
        return 2;
    }
    const int runs = std::atoi(argv[2]);
    const int comboId = argc == 4 ? std::atoi(argv[3]) : 1023;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = MeasureRun(argv[1], comboId);
        if (ms < 0) {
            std::fprintf(stderr, "startup-bench: %s showed no dialog with control %d\n", argv[1], comboId);
            return 1;
        }
        std::printf("run %d: %.1f ms\n", i + 1, ms);
        std::fflush(stdout);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("median: %.1f ms\n", median);
    return 0;
}
