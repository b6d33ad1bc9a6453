// The uninstall log tests' own temporary folder: a fresh folder inside the prefix's temporary folder, made
// the process's TMP for the test, so that the backups of one test are told apart from those of tests that
// run at the same time.
#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <string>

class PrivateTempFolder {
public:
    explicit PrivateTempFolder(const std::string& name)
    {
        char saved[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableA("TMP", saved, MAX_PATH);
        m_bHadTmp = length > 0 && length < MAX_PATH;
        if (m_bHadTmp)
            m_savedTmp = saved;
        char real[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, real);
        m_path = std::string(real) + "ulog-" + name + "-" + std::to_string(GetCurrentProcessId());
        RemoveTree(m_path);
        CreateDirectoryA(m_path.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", m_path.c_str());
    }
    ~PrivateTempFolder()
    {
        SetEnvironmentVariableA("TMP", m_bHadTmp ? m_savedTmp.c_str() : nullptr);
        RemoveTree(m_path);
    }
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // The "qu*.tmp" files left in the folder.
    std::vector<std::string> Backups() const { return TempFilesIn(m_path); }

private:
    std::string m_path;
    std::string m_savedTmp;
    bool m_bHadTmp = false;
};
