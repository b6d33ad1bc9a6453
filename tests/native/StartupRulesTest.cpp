// Start-up decisions: product names, the installed-version comparison, the
// start-up language and the program path of a DisplayIcon value.
#include "StartupRules.h"

#include <gtest/gtest.h>

namespace {

TEST(ProductIdentity, FrenchIsPlankoraEveryOtherLanguageSarventa)
{
    EXPECT_EQ(GetProductNameFor(0, false), "Plankora 5.23i");
    EXPECT_EQ(GetProductNameFor(0, true), "Plankora");
    EXPECT_EQ(GetShortProductNameFor(0), "Plankora 5");
    for (int language = 1; language < 16; ++language) {
        EXPECT_EQ(GetProductNameFor(language, false), "Sarventa 5.23i");
        EXPECT_EQ(GetShortProductNameFor(language), "Sarventa 5");
    }
    EXPECT_EQ(ComposeTitle("Installer", 1, true), "Installer -- Sarventa 5.23i");
    EXPECT_EQ(ComposeTitle("Installeur", 0, true), "Installeur -- Plankora 5.23i");
    EXPECT_EQ(ComposeTitle("Installer", 1, false), "Installer");
}

TEST(InstalledVersion, ComparedWithTheInstallerVersionAsOneNumber)
{
    EXPECT_EQ(INSTALLER_VERSION, 0x0005001700090001ull);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(5, 23, 9, 1)), INSTALL_STATUS_SAME);
    EXPECT_EQ(CompareInstalledVersion(0), INSTALL_STATUS_SAME);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(5, 22, 65535, 65535)), INSTALL_STATUS_OLDER);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(5, 23, 9, 0)), INSTALL_STATUS_OLDER);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(0, 0, 0, 1)), INSTALL_STATUS_OLDER);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(5, 23, 9, 2)), INSTALL_STATUS_NEWER);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(5, 24, 0, 0)), INSTALL_STATUS_NEWER);
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(6, 0, 0, 0)), INSTALL_STATUS_NEWER);
    // Unsigned: a top part of 0x8000 or more is newer, not negative.
    EXPECT_EQ(CompareInstalledVersion(MakeVersionNumber(0xFFFF, 0, 0, 0)), INSTALL_STATUS_NEWER);
}

TEST(StartupLanguage, StoredValueOnlyWhenOfferedThenEnglishWithoutCompleteTexts)
{
    EXPECT_EQ(SettleStartupLanguage(2, false, 0), 2);       // German detected, nothing stored
    EXPECT_EQ(SettleStartupLanguage(2, true, 0), 0);        // French stored
    EXPECT_EQ(SettleStartupLanguage(2, true, 6), 2);        // Danish: not offered, ignored
    EXPECT_EQ(SettleStartupLanguage(2, true, 5), 1);        // Dutch: offered, incomplete texts
    EXPECT_EQ(SettleStartupLanguage(2, true, 16), 2);       // outside the table
    EXPECT_EQ(SettleStartupLanguage(2, true, 0xFFFFFFFFu), 2);
    EXPECT_EQ(SettleStartupLanguage(10, false, 0), 1);      // Chinese detected
    EXPECT_EQ(SettleStartupLanguage(5, false, 0), 1);
    for (uint32_t stored : {0u, 1u, 2u, 3u, 4u, 7u, 9u, 11u})
        EXPECT_EQ(SettleStartupLanguage(1, true, stored), static_cast<int>(stored));
    for (uint32_t stored : {8u, 12u, 13u, 15u})
        EXPECT_EQ(SettleStartupLanguage(3, true, stored), 3) << stored;
    for (uint32_t stored : {10u, 14u})
        EXPECT_EQ(SettleStartupLanguage(3, true, stored), 1) << stored;
}

TEST(DisplayIcon, ProgramPathWithoutTheIconIndexAndQuotes)
{
    EXPECT_EQ(ProgramPathFromDisplayIcon("C:\\P\\Plankora.exe,0"), "C:\\P\\Plankora.exe");
    EXPECT_EQ(ProgramPathFromDisplayIcon("\"C:\\A B\\Plankora.exe\",-12"), "C:\\A B\\Plankora.exe");
    EXPECT_EQ(ProgramPathFromDisplayIcon("C:\\P\\Plankora.exe"), "C:\\P\\Plankora.exe");
    EXPECT_EQ(ProgramPathFromDisplayIcon("C:\\A,B\\Plankora.exe,0"), "C:\\A,B\\Plankora.exe");
    EXPECT_EQ(ProgramPathFromDisplayIcon("C:\\A,B\\Plankora.exe"), "C:\\A,B\\Plankora.exe");
    EXPECT_EQ(ProgramPathFromDisplayIcon(",0"), "");
    EXPECT_EQ(ProgramPathFromDisplayIcon(""), "");
}

}  // namespace
