// The install sequence run in process by the tests: the progress page's side recorded, and the payload
// given by the test instead of the installer's resource.
#pragma once

#include "InstallApp.h"
#include "InstallSequence.h"
#include "TestSupport.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The page's side, recorded: the status line and the log box text (a header as one line of dashes).
class RecordingProgress : public IInstallProgress {
public:
    void SetStatusText(const std::string& text) override
    {
        status = text;
        if (onStatusText)
            onStatusText(text);
    }
    void SetStatusPath(const std::string& text) override
    {
        status = text;
        if (onStatusPath)
            onStatusPath(text);
    }
    void AppendLine(const std::string& text, bool bHeader) override
    {
        log += (bHeader || text.empty()) ? "-----" + text + "-----\r\n" : text;
    }
    void SetProgressPos(int position) override { positions.push_back(position); }
    void ShowProgress() override { shown = true; }
    HWND GetOwnerWindow() const override { return nullptr; }

    std::string status;
    std::string log;
    std::vector<int> positions;
    bool shown = false;
    // Runs as each entry's line is shown: after the entry's checks, before its backup and its write.
    std::function<void(const std::string&)> onStatusPath;
    // Runs as a step's status line is shown ("Data Control..." as the verification starts).
    std::function<void(const std::string&)> onStatusText;
};

// The sequence with the archive given by the test as its payload.
class TestSequence : public CInstallSequence {
public:
    TestSequence(CInstallApp& app, IInstallProgress& progress) : CInstallSequence(app, progress), m_app(app) {}
    std::string m_archive;
    std::string m_payloadFolder;  // where the payload copy goes; empty: the temporary folder

protected:
    bool CopyPayload(std::string& error) override
    {
        char folder[MAX_PATH], name[MAX_PATH] = {};
        if (!m_payloadFolder.empty())
            lstrcpynA(folder, m_payloadFolder.c_str(), MAX_PATH);
        else if (!GetTempPathA(MAX_PATH, folder))
            folder[0] = '\0';
        if (!folder[0] || !GetTempFileNameA(folder, "qu", 0, name) || !WriteFileBytes(name, m_archive)) {
            if (name[0])
                DeleteFileA(name);  // GetTempFileNameA made it; the real copy removes a partial file too
            error = "test payload";
            return false;
        }
        m_app.m_strPayloadFile = name;
        return true;
    }

private:
    CInstallApp& m_app;
};

// A run of the sequence in a scratch folder, with the product's registration removed before and after and
// the temporary folder as it was.
class InstallSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
        m_root = FreshFolder("install_sequence");
        // A blank in the folder: the per-file line quotes the path.
        m_install = m_root + "\\Product Folder";
        m_menu = m_root + "\\Menu\\Sarventa 5";
        m_app.m_strInstallFolder = m_install;
        m_app.m_strStartMenuFolder = m_menu;
        m_app.m_bStartMenuShortcut = false;
        m_app.m_bDesktopShortcut = false;
        m_app.m_nLanguage = 1;
        m_app.m_uninstallLog.Load(nullptr, m_app.GetProductName(false));
        GetTempPathA(MAX_PATH, m_temp);
        m_tempBefore = TempFilesIn(m_temp);
    }
    void TearDown() override
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
        RemoveTree(m_root);
        EXPECT_EQ(TempFilesIn(m_temp), m_tempBefore);
    }

    bool Run(const std::vector<TestFile>& files)
    {
        m_sequence.m_archive = BuildArchive(files);
        return m_sequence.RunInstallSequence();
    }
    std::string Copying(const std::string& name) const
    {
        return "Copying File  \"" + m_install + "\\" + name + "\"...OK\r\n";
    }

    CInstallApp m_app;
    RecordingProgress m_progress;
    TestSequence m_sequence{m_app, m_progress};
    std::string m_root, m_install, m_menu;
    char m_temp[MAX_PATH] = {};
    std::vector<std::string> m_tempBefore;
};
