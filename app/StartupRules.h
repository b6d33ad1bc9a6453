// The installer's decisions at start-up that need no system: product identity, the version rule, the
// installed-version comparison and the start-up language. Pure: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

// Product identity.
constexpr const char* PRODUCT_NAME_FRENCH = "Plankora";
constexpr const char* PRODUCT_NAME_OTHER = "Sarventa";
constexpr const char* PRODUCT_DISPLAY_VERSION = "5.23i";
constexpr const char* REGISTRATION_KEY_NAME = "Plankora 5";
constexpr const char* UNINSTALL_ROOT = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* REGISTRATION_KEY_PATH = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5";
constexpr const char* PUBLISHER_FOLDER_NAME = "Quillon & Partners";
constexpr const char* INSTALLER_MUTEX_NAME = "Plankora5.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
constexpr const char* PRODUCT_SEMAPHORE_NAME = "Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
constexpr const char* UNINSTALL_LOG_NAME = "Uninstall.ulog";

// Four 16-bit parts as one number, the first part in the most significant bits.
constexpr uint64_t MakeVersionNumber(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (uint64_t(a & 0xFFFF) << 48) | (uint64_t(b & 0xFFFF) << 32) | (uint64_t(c & 0xFFFF) << 16) |
           uint64_t(d & 0xFFFF);
}
constexpr uint64_t INSTALLER_VERSION = MakeVersionNumber(5, 23, 9, 1);

// State of an existing installation (m_nInstallStatus).
constexpr int INSTALL_STATUS_NONE = 0;
constexpr int INSTALL_STATUS_SAME = 1;
constexpr int INSTALL_STATUS_OLDER = 2;
constexpr int INSTALL_STATUS_NEWER = -1;

// How start-up ended; also the process exit code.
enum StartupResult {
    STARTUP_DONE = 0,
    STARTUP_ANOTHER_INSTALLER = 1,
    STARTUP_NOT_ADMINISTRATOR = 2,
    STARTUP_PRODUCT_RUNNING = 3,
    STARTUP_UNSUPPORTED_WINDOWS = 4,
    STARTUP_UNREADABLE_VERSION = 5,
};

// "Plankora" for language 0, "Sarventa" otherwise; with " 5.23i" unless bNoVersion.
std::string GetProductNameFor(int language, bool bNoVersion);
// The product name, a blank and "5".
std::string GetShortProductNameFor(int language);
// installerWord (text 1000), followed by " -- " and the product name with version when bProduct.
std::string ComposeTitle(const std::string& installerWord, int language, bool bProduct);

// Status for a program found with the given file version: 0 (no version) and equal give 1, older 2,
// newer -1.
int CompareInstalledVersion(uint64_t installedVersion);

// Start-up language: the detected index, replaced by a stored value that was read and is offered, then
// English when the result has no complete installer texts.
int SettleStartupLanguage(int detected, bool storedRead, uint32_t stored);

// The program path held in a DisplayIcon value ("path,index", the path possibly quoted); empty when the
// value holds none.
std::string ProgramPathFromDisplayIcon(const std::string& value);
