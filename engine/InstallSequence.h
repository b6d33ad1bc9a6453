// The install sequence: copies the payload out of the installer, extracts it while deciding file by file,
// creates the shortcuts, writes the uninstall registration, runs the installed program's registration
// and writes the uninstall log, every change recorded first so that a failed extraction is rolled back.
// The progress page drives it; what the user sees goes through IInstallProgress.
#pragma once

#include "PayloadExtractor.h"

#include <windows.h>

#include <string>

class IInstallContext;

// The page-side effects of the sequence: the status line, the log box and the progress bar.
class IInstallProgress {
public:
    virtual ~IInstallProgress() = default;
    // A plain status text.
    virtual void SetStatusText(const std::string& text) = 0;
    // A status text that holds a file path: shortened like a path to fit the status line.
    virtual void SetStatusPath(const std::string& text) = 0;
    // Appends to the log box; with bHeader the text becomes a centred title between dashes (an empty
    // title a full line of dashes). Other texts are appended exactly as given.
    virtual void AppendLine(const std::string& text, bool bHeader) = 0;
    virtual void SetProgressPos(int position) = 0;
    virtual void ShowProgress() = 0;
    // Owner window for shell calls; may be null.
    virtual HWND GetOwnerWindow() const = 0;
};

// Publisher contact data stored in the uninstall registration.
constexpr const char* PUBLISHER_WEB_ADDRESS = "https://www.quillon-partners.example/sarventa";
constexpr const char* PUBLISHER_TELEPHONE = "+1 555 0100 523";

class CInstallSequence {
public:
    CInstallSequence(IInstallContext& app, IInstallProgress& progress) : m_app(app), m_progress(progress) {}
    virtual ~CInstallSequence() = default;
    CInstallSequence(const CInstallSequence&) = delete;
    CInstallSequence& operator=(const CInstallSequence&) = delete;

    std::string m_strProgramPath;      // the installed main program (payload entry kind 1)
    std::string m_strUninstallerPath;  // the installed uninstaller (payload entry kind 2)

    // True when the payload was copied and extracted; the later steps report their failures in the log
    // box only. False when the copy or the extraction failed; the machine is then as before the run.
    bool RunInstallSequence();
    // Extraction callback; the event's user pointer is the sequence.
    static int InstallCallback(ExtractEvent* pEvent);

    // After a false result: the extractor's error kind, EXTRACT_ERROR_SYSTEM for a failed payload copy.
    int GetFailureKind() const { return m_nFailureKind; }
    // Results of the steps after the extraction of the last run.
    bool ShortcutsCreated() const { return m_bShortcutsOk; }
    bool RegistrationWritten() const { return m_bRegistrationOk; }
    bool InstallationDataWritten() const { return m_bLogSaved; }

protected:
    // Copies the payload into the temporary file m_strPayloadFile of the application.
    virtual bool CopyPayload(std::string& error);

private:
    int OnEvent(ExtractEvent& event);
    int OnFileBegin(ExtractEvent& event);
    void ProtectPrograms();
    bool CreateShortcuts();
    bool CreateOneShortcut(int selector, const std::string& folder, const std::string& target,
                           const std::string& name);
    bool WriteRegistration();
    bool RunRegistration();
    bool SaveInstallationData();
    void AppendResult(bool ok);

    IInstallContext& m_app;
    IInstallProgress& m_progress;
    int m_nFailureKind = EXTRACT_ERROR_NONE;
    bool m_bShortcutsOk = false;
    bool m_bRegistrationOk = false;
    bool m_bLogSaved = false;
};
