// The user's choices for the installation: made on the wizard's pages, read by the install sequence.
#pragma once

#include <string>

struct CInstallChoices {
    std::string m_strInstallFolder;
    std::string m_strStartMenuFolder;
    bool m_bStartMenuShortcut = true;
    bool m_bDesktopShortcut = true;
    bool m_bAdvanced = false;
};
