// The payload copy of the application object, with the test program's own payload resource.
#include "InstallApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(CopyPayloadToTemp, CopiesTheResourceIntoATemporaryFile)
{
    CInstallApp app;
    std::string error;
    ASSERT_TRUE(app.CopyPayloadToTemp(error)) << error;
    const std::string file = app.m_strPayloadFile;
    EXPECT_EQ(ReadFileBytes(file), "QU test payload bytes");
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(file.compare(0, strlen(temp), temp), 0) << file;
    const std::string name = file.substr(file.rfind('\\') + 1);
    EXPECT_EQ(TempFilesIn(file.substr(0, file.rfind('\\'))).size() > 0, true);
    EXPECT_EQ(name.substr(0, 2), "qu");
    app.DeletePayloadFile();
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(app.m_strPayloadFile.empty());
}

TEST(CopyPayloadToTemp, WithoutThePayloadResourceNamesTheFailingStep)
{
    CInstallApp app;
    AfxSetResourceHandle(GetModuleHandleA("kernel32"));
    std::string error;
    const bool ok = app.CopyPayloadToTemp(error);
    AfxSetResourceHandle(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::regex_match(error, std::regex("0000071[56] \\(FindResource\\)"))) << error;
    EXPECT_TRUE(app.m_strPayloadFile.empty());
}

TEST(CopyPayloadToTemp, AFailedCopyLeavesNoTemporaryFile)
{
    // A temporary folder that does not exist makes GetTempFileName fail; one that is too long fails earlier.
    char savedTmp[MAX_PATH], savedTemp[MAX_PATH];
    const DWORD tmp = GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH);
    const DWORD temp = GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH);
    const std::string folder = FreshFolder("payload_copy");
    const std::string gone = folder + "\\missing";
    SetEnvironmentVariableA("TMP", gone.c_str());
    SetEnvironmentVariableA("TEMP", gone.c_str());
    CInstallApp app;
    std::string error;
    EXPECT_FALSE(app.CopyPayloadToTemp(error));
    EXPECT_TRUE(error.find("(GetTempFileName)") != std::string::npos ||
                error.find("(GetTempPath)") != std::string::npos)
        << error;
    SetEnvironmentVariableA("TMP", tmp ? savedTmp : nullptr);
    SetEnvironmentVariableA("TEMP", temp ? savedTemp : nullptr);
    EXPECT_TRUE(ListFiles(folder).empty());
    RemoveTree(folder);
}

}  // namespace
