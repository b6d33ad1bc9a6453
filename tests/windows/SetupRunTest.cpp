// setup.exe without its wizard: unpacks the product into the prefix's standard folders and cleans up.
#include "TestSupport.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

std::string ShellFolder(int csidl)
{
    char buffer[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    return buffer;
}

TEST(SetupRun, InstallsTheProductAndLeavesNoTemporaryFile)
{
    const std::string install = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quillon & Partners";
    const std::string shared = ShellFolder(CSIDL_COMMON_APPDATA) + "\\Quillon & Partners";
    const std::string samples = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Sarventa Examples";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::vector<std::string> tempBefore = TempFilesIn(temp);

    std::string command = "\"" + WinPath(QU_SETUP_EXE) + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(FileExists(install + "\\Sarventa 5\\Plankora.exe"));
    EXPECT_TRUE(FileExists(install + "\\Sarventa 5\\Docs\\Help.txt"));
    EXPECT_TRUE(FileExists(shared + "\\Sarventa 5\\shared.dat"));
    EXPECT_TRUE(FileExists(samples + "\\Sample1.plk"));
    EXPECT_EQ(TempFilesIn(temp), tempBefore);

    RemoveTree(install);
    RemoveTree(shared);
    RemoveTree(samples);
}

}  // namespace
