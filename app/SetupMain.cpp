// setup.exe until the wizard exists: unpacks the payload into the default folders without any user
// interface. Exit code 0 on success, else the extractor's error kind (an error text goes to stderr).
#include "InstallApp.h"
#include "PayloadExtractor.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

namespace {

class CInterimSetupApp : public CInstallApp {
public:
    bool InitInstance() override
    {
        m_nExitCode = Install();
        return false;
    }

private:
    int Install()
    {
        char folder[MAX_PATH + 1] = {};
        if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE) ||
            !PathAppendA(folder, "Quillon & Partners") || !PathAppendA(folder, "Sarventa 5")) {
            std::fprintf(stderr, "setup: the Program Files folder is not available\n");
            return EXTRACT_ERROR_SYSTEM;
        }
        std::string error;
        if (!CopyPayloadToTemp(error)) {
            std::fprintf(stderr, "setup: the payload cannot be copied: %s\n", error.c_str());
            return EXTRACT_ERROR_SYSTEM;
        }
        PayloadExtractor extractor;
        extractor.SetInstallFolder(folder);
        extractor.SetSamplesFolder("Sarventa Examples");
        const bool ok = extractor.Extract(m_strPayloadFile.c_str());
        DeletePayloadFile();
        if (!ok) {
            std::fprintf(stderr, "setup: extraction failed: %d:%08lX\n", extractor.GetErrorKind(),
                         static_cast<unsigned long>(extractor.GetSystemError()));
            return extractor.GetErrorKind();
        }
        return 0;
    }
};

CInterimSetupApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }
