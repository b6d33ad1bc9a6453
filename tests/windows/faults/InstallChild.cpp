// install-child ROOT ARCHIVE STOP EVENT: runs the install sequence of the demo product into the scratch root
// (FaultInstall.h) with ARCHIVE as its payload. Every status text and line of the progress page and every
// write of an extracted file is a point; at point STOP (1 or more) it writes the page's log so far to
// ARCHIVE.log, signals EVENT and waits to be ended. Exit code: the number of points, plus 1000000 when the
// sequence returned false. Under QU_INJECT the sequence's system calls are counted and made to fail as the
// test chose (Injection.h); a run to its end writes its failure kind, status and log to ARCHIVE.result.
#include "FaultInstall.h"
#include "Injection.h"
#include "PayloadExtractor.h"

#include <windows.h>

#include <cstdlib>

namespace {

long g_points = 0;
long g_stopAt = 0;
HANDLE g_reached = nullptr;
std::string g_logPath;
const RecordingProgress* g_progress = nullptr;

void Point()
{
    if (++g_points == g_stopAt) {
        WriteFileBytes(g_logPath, g_progress->log);
        SetEvent(g_reached);
        Sleep(INFINITE);
    }
}

class CountingProgress : public RecordingProgress {
public:
    void SetStatusText(const std::string& text) override { RecordingProgress::SetStatusText(text), Point(); }
    void SetStatusPath(const std::string& text) override { RecordingProgress::SetStatusPath(text), Point(); }
    void AppendLine(const std::string& text, bool bHeader) override
    {
        RecordingProgress::AppendLine(text, bHeader);
        Point();
    }
};

BOOL WINAPI CountedWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    Point();
    return WriteFile(file, data, size, written, overlapped);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2000000;
    const FaultRoots roots(argv[1]);
    UseTemporaryFolder(roots.temp);
    g_stopAt = std::atol(argv[3]);
    g_reached = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    ExtractorWriteCall() = CountedWrite;

    CInstallApp app;
    PrepareApp(app, roots);
    CountingProgress progress;
    g_progress = &progress;
    g_logPath = std::string(argv[2]) + ".log";
    TestSequence sequence(app, progress);
    sequence.m_archive = ReadFileBytes(argv[2]);
    const bool injected = AttachInjection();
    ArmInjection(true);
    const bool ok = sequence.RunInstallSequence();
    ArmInjection(false);
    if (injected)
        WriteFileBytes(std::string(argv[2]) + ".result",
                       std::to_string(sequence.GetFailureKind()) + "\n" + progress.status + "\n" + progress.log);
    return static_cast<int>(g_points + (ok ? 0 : 1000000));
}
