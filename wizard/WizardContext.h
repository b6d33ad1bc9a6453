// What the wizard's windows read and change of the installation: the install sequence's context, the
// user's choices, the language and the titles. The application implements it and makes itself the wizard's
// context; the wizard knows nothing else of the application.
#pragma once

#include "InstallChoices.h"
#include "InstallContext.h"

#include <string>

// What the application asks of the wizard window while it runs.
class IWizardWindow {
public:
    virtual ~IWizardWindow() = default;
    virtual bool IsInstallCompleted() const = 0;
    // Every text of the window and its pages in the current language.
    virtual void RefreshTexts() = 0;
};

class IWizardContext : public IInstallContext {
public:
    // The choices the pages show and change.
    virtual CInstallChoices& GetChoices() = 0;
    // "Installer -- Sarventa 5.23i"; with bProduct false the installer's word alone.
    virtual std::string GetTitle(bool bProduct) const = 0;
    // The product name, a blank and "5": the sub-folder kept below a chosen folder.
    virtual std::string GetShortProductName() const = 0;
    // Changes the language and re-texts the wizard; tells the user when the installer stays in English.
    virtual void SetLanguage(int language) = 0;
    // The wizard window registers itself while it runs (null: none).
    virtual void SetWizardWindow(IWizardWindow* pWizard) = 0;
    virtual IWizardWindow* GetWizardWindow() const = 0;

    // The wizard's installation-completed flag; false without a wizard.
    bool IsInstallComplete() const
    {
        const IWizardWindow* pWizard = GetWizardWindow();
        return pWizard && pWizard->IsInstallCompleted();
    }
};

// The context the wizard's windows work on: set by the application for its lifetime, and forgotten when
// the context that goes is the current one.
void SetWizardContext(IWizardContext* pContext);
void ForgetWizardContext(const IWizardContext* pContext);
bool HasWizardContext();
IWizardContext& GetWizardContext();
