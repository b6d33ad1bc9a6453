// The installer's decisions at start-up that need no system: product identity, the version rule, the
// installed-version comparison and the start-up language. Pure: no <windows.h>.
#pragma once

#include "ProductConstants.h"

#include <cstdint>
#include <string>

// Four 16-bit parts as one number, the first part in the most significant bits.
constexpr uint64_t MakeVersionNumber(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (uint64_t(a & 0xFFFF) << 48) | (uint64_t(b & 0xFFFF) << 32) | (uint64_t(c & 0xFFFF) << 16) |
           uint64_t(d & 0xFFFF);
}
constexpr uint64_t INSTALLER_VERSION = MakeVersionNumber(5, 23, 9, 1);

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
