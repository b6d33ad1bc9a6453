// The installer's application object: start-up checks, the installation context that the wizard pages
// and the install sequence share, and the product's identity.
#pragma once

#include "Handles.h"
#include "NamedObjects.h"
#include "StartupRules.h"
#include "UninstallLog.h"
#include "WinApp.h"
#include "WizardContext.h"

#include <string>

class CInstallApp : public CWinApp, public CInstallChoices, public IWizardContext {
public:
    CInstallApp();
    ~CInstallApp() override;

    // The installation context, in this order.
    int m_nInstallStatus = INSTALL_STATUS_NONE;  // INSTALL_STATUS_...
    std::string m_strInstalledVersion;           // product name and version, for status 2 and -1
    CNamedMutex m_installerMutex;                // owned from start-up to the end
    int m_nLanguage = 1;                         // language index 0 to 15
    // The choices (folders, shortcuts, method) are the CInstallChoices base.
    std::string m_strPayloadFile;  // temporary copy of the payload, empty when there is none
    CUninstallLog m_uninstallLog;

    // Start-up, then the wizard; always false, so the framework runs no message loop. The exit code is
    // the StartupResult (0 once the wizard ran, whatever its result).
    bool InitInstance() override;
    // Runs the wizard modally as the application's main window.
    void RunInstallWizard();

    // Start-up steps up to the wizard: single instance, language, rights, product closed, Windows version,
    // installed version, previous log, default folders and choices. Returns STARTUP_DONE when the wizard
    // may run; any other result was shown to the user.
    int StartUp();

    // Product identity.
    std::string GetTitle(bool bProduct) const override;  // "Installer -- Sarventa 5.23i"
    std::string GetProductName(bool bNoVersion) const override { return GetProductNameFor(m_nLanguage, bNoVersion); }
    std::string GetShortProductName() const override { return GetShortProductNameFor(m_nLanguage); }
    // m_nInstallStatus; for 2 and -1 the installed version is copied into *pVersion when given.
    int GetInstallStatus(std::string* pVersion = nullptr) const override;

    // Texts by their French id: the current language's id, its text, and the text with %1 and %2 filled.
    int GetTextId(int baseId) const;
    std::string LoadText(int baseId) const override;
    std::string FormatText(int baseId, const std::string& arg1, const std::string& arg2 = "") const override;
    // Changes the language and the application name and re-texts the wizard; tells the user when the
    // installer stays in English.
    void SetLanguage(int language) override;

    // The wizard window while it runs (it registers itself), else null.
    IWizardWindow* m_pWizard = nullptr;
    void SetWizardWindow(IWizardWindow* pWizard) override { m_pWizard = pWizard; }
    IWizardWindow* GetWizardWindow() const override { return m_pWizard; }
    CInstallChoices& GetChoices() override { return *this; }

    // Copies the payload resource (type 260, name 134) into a new temporary file "qu*.tmp" and keeps its
    // path in m_strPayloadFile. The file stays open until DeletePayloadFile, and nobody else may write,
    // rename or delete it meanwhile (readers must share writing). On failure error receives "%08x (%s)"
    // with the system error code and the failing step, and no temporary file is left behind.
    bool CopyPayloadToTemp(std::string& error) override;
    // Closes and deletes the temporary payload file.
    void DeletePayloadFile() override;

    // The install sequence's view of the context.
    const std::string& GetInstallFolder() const override { return m_strInstallFolder; }
    const std::string& GetStartMenuFolder() const override { return m_strStartMenuFolder; }
    bool WantsStartMenuShortcut() const override { return m_bStartMenuShortcut; }
    bool WantsDesktopShortcut() const override { return m_bDesktopShortcut; }
    int GetLanguage() const override { return m_nLanguage; }
    CUninstallLog& GetUninstallLog() override { return m_uninstallLog; }
    CNamedMutex& GetInstallerMutex() override { return m_installerMutex; }
    const std::string& GetPayloadFile() const override { return m_strPayloadFile; }

private:
    FileHandle m_payloadHold;  // the payload copy's own handle, held from its creation to its deletion

    bool TakeInstallerMutex();
    void SettleLanguage();
    void UpdateAppName() { SetAppName(GetTitle(true).c_str()); }
    bool CheckAdministrator();
    bool WaitUntilProductClosed();
    bool CheckWindowsVersion();
    bool DetectInstallation();
    void LoadPreviousLog();
    void SetDefaultFolders();

    // Full path of the installed main program found at start-up; empty when unknown.
    std::string m_strInstalledProgram;
};

