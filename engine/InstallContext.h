// What the install sequence reads and changes of the installation it runs for: the user's choices, the texts
// of the current language, the uninstall log and installer mutex, and the temporary payload copy. The
// application implements it; the engine knows nothing else of the application.
#pragma once

#include <string>

class CNamedMutex;
class CUninstallLog;

class IInstallContext {
public:
    virtual ~IInstallContext() = default;

    // Choices.
    virtual const std::string& GetInstallFolder() const = 0;
    virtual const std::string& GetStartMenuFolder() const = 0;
    virtual bool WantsStartMenuShortcut() const = 0;
    virtual bool WantsDesktopShortcut() const = 0;
    virtual int GetLanguage() const = 0;
    // The existing installation's status (INSTALL_STATUS_...).
    virtual int GetInstallStatus(std::string* pVersion = nullptr) const = 0;

    // Texts by their French id, in the current language.
    virtual std::string LoadText(int baseId) const = 0;
    virtual std::string FormatText(int baseId, const std::string& arg1, const std::string& arg2 = "") const = 0;
    virtual std::string GetProductName(bool bNoVersion) const = 0;

    virtual CUninstallLog& GetUninstallLog() = 0;
    virtual CNamedMutex& GetInstallerMutex() = 0;

    // The temporary payload copy: made (its path then in GetPayloadFile), and deleted.
    virtual bool CopyPayloadToTemp(std::string& error) = 0;
    virtual const std::string& GetPayloadFile() const = 0;
    virtual void DeletePayloadFile() = 0;
};
