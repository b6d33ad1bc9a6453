// The installer's application object. For now it carries the temporary copy of the payload; the rest of
// the installation context joins it with the wizard.
#pragma once

#include "WinApp.h"

#include <string>

class CInstallApp : public CWinApp {
public:
    CInstallApp();
    ~CInstallApp() override;

    // Full path of the temporary file that holds the payload; empty when there is none.
    std::string m_strPayloadFile;

    // Copies the payload resource (type 260, name 134) into a new temporary file "qu*.tmp" and keeps its
    // path in m_strPayloadFile. On failure error receives "%08x (%s)" with the system error code and the
    // failing step, and no temporary file is left behind.
    bool CopyPayloadToTemp(std::string& error);

    // Deletes the temporary payload file.
    void DeletePayloadFile();
};
