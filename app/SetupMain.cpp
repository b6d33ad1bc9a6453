// setup.exe until the wizard exists: start-up with its checks and messages, then the install sequence with
// the start-up choices (the proposed folders, both shortcut options) and no further user interface.
// Exit code: the start-up result (1-5) when start-up stops, else 0 when the payload was extracted, or
// INSTALL_FAILURE_BASE plus the extractor's error kind (11 also for a payload copy failure). Steps after the
// extraction do not fail the run; their "OK" or "Failed" lines are in the log text, which goes to the file
// named by the environment variable QU_SETUP_LOG when it is set.
#include "InstallApp.h"
#include "InstallSequence.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int INSTALL_FAILURE_BASE = 10;

// The progress page's part without a window: the log text is collected, the rest dropped.
class CLogOnlyProgress : public IInstallProgress {
public:
    void SetStatusText(const std::string& text) override { m_strStatus = text; }
    void SetStatusPath(const std::string& text) override { m_strStatus = text; }
    void AppendLine(const std::string& text, bool bHeader) override
    {
        if (bHeader || text.empty())
            m_strLog += (text.empty() ? std::string(60, '-') : "------- " + text + " -------") + "\r\n";
        else
            m_strLog += text;
    }
    void SetProgressPos(int) override {}
    void ShowProgress() override {}
    HWND GetOwnerWindow() const override { return nullptr; }

    // Writes the log text and the last status line to path.
    void WriteTo(const char* path) const
    {
        FILE* file = std::fopen(path, "wb");
        if (!file)
            return;
        std::fputs(m_strLog.c_str(), file);
        std::fputs(("Status: " + m_strStatus + "\r\n").c_str(), file);
        std::fclose(file);
    }

private:
    std::string m_strLog;
    std::string m_strStatus;
};

class CInterimSetupApp : public CInstallApp {
public:
    bool InitInstance() override
    {
        m_nExitCode = StartUp();
        if (m_nExitCode == STARTUP_DONE)
            m_nExitCode = Install();
        return false;
    }

private:
    int Install()
    {
        CLogOnlyProgress progress;
        CInstallSequence sequence(*this, progress);
        const bool ok = sequence.RunInstallSequence();
        if (const char* logFile = std::getenv("QU_SETUP_LOG"))
            progress.WriteTo(logFile);
        return ok ? 0 : INSTALL_FAILURE_BASE + sequence.GetFailureKind();
    }
};

CInterimSetupApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }
