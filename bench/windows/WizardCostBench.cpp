// What the wizard adds to an extraction: the install sequence's callback (uninstall log records, the
// status line, the log box line per file, the progress bar per progress event) drawing on the real
// progress page, against the same callback with a progress side that does nothing.
//
//   wizard-cost page|null|bar|log ARCHIVE INSTALL_FOLDER
//
// bar: only the progress bar is the page's, log: only the status line and the log box.
// Prints "wizard-cost MODE ms MS files N events N".
#include "InstallApp.h"
#include "InstallSequence.h"
#include "Languages.h"
#include "ProgressPages.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

class NullProgress : public IInstallProgress {
public:
    void SetStatusText(const std::string&) override {}
    void SetStatusPath(const std::string&) override {}
    void AppendLine(const std::string&, bool) override {}
    void SetProgressPos(int) override {}
    void ShowProgress() override {}
    HWND GetOwnerWindow() const override { return nullptr; }
};

// The page's progress bar only, or its status line and log box only.
class PartialProgress : public IInstallProgress {
public:
    PartialProgress(IInstallProgress& page, bool bar) : m_page(page), m_bBar(bar) {}
    void SetStatusText(const std::string& text) override { if (!m_bBar) m_page.SetStatusText(text); }
    void SetStatusPath(const std::string& text) override { if (!m_bBar) m_page.SetStatusPath(text); }
    void AppendLine(const std::string& text, bool bHeader) override { if (!m_bBar) m_page.AppendLine(text, bHeader); }
    void SetProgressPos(int position) override { if (m_bBar) m_page.SetProgressPos(position); }
    void ShowProgress() override { m_page.ShowProgress(); }
    HWND GetOwnerWindow() const override { return m_page.GetOwnerWindow(); }

private:
    IInstallProgress& m_page;
    bool m_bBar;
};

struct Counting {
    CInstallSequence* pSequence;
    unsigned nFiles = 0;
    unsigned nEvents = 0;
};

int CountingCallback(ExtractEvent* event)
{
    auto* counting = static_cast<Counting*>(event->pUser);
    ++counting->nEvents;
    if (event->nCode == EXTRACT_FILE_END)
        ++counting->nFiles;
    event->pUser = counting->pSequence;
    const int answer = CInstallSequence::InstallCallback(event);
    event->pUser = counting;
    return answer;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "page" && mode != "null" && mode != "bar" && mode != "log") {
        std::fprintf(stderr, "usage: wizard-cost page|null|bar|log ARCHIVE INSTALL_FOLDER\n");
        return 2;
    }
    const bool page = mode != "null";
    CInstallApp app;
    app.m_nLanguage = LANGUAGE_ENGLISH;
    app.m_strInstallFolder = argv[3];
    app.m_uninstallLog.Load(nullptr, app.GetProductName(false));

    // The progress page as the wizard shows it: a child of a visible frame window.
    HWND hFrame = CreateWindowExA(0, "STATIC", "wizard-cost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    CWnd frame;
    frame.Attach(hFrame);
    CDlgInstall dlg;
    PartialProgress partial(dlg, mode == "bar");
    NullProgress none;
    IInstallProgress* progress = &none;
    if (page) {
        if (!hFrame || !dlg.Create(dlg.m_lpszTemplateName, &frame)) {
            std::fprintf(stderr, "wizard-cost: the progress page cannot be created\n");
            return 1;
        }
        dlg.ShowWindow(SW_SHOW);
        dlg.ShowProgress();
        progress = mode == "page" ? static_cast<IInstallProgress*>(&dlg) : &partial;
    }
    CInstallSequence sequence(app, *progress);
    Counting counting{&sequence};
    PayloadExtractor extractor;
    extractor.SetInstallFolder(app.m_strInstallFolder);
    extractor.SetCallback(CountingCallback, &counting);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const bool ok = extractor.Extract(argv[2]);
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("wizard-cost %s ms %.1f files %u events %u\n", argv[1], ms, counting.nFiles, counting.nEvents);
    if (page)
        dlg.DestroyWindow();
    if (hFrame)
        DestroyWindow(hFrame);
    return ok ? 0 : 1;
}
