// Reading a program's version resource: file version, flags and the product's strings.
#pragma once

#include <cstdint>
#include <string>

// Request flags of VERSION_INFO::nRequest.
constexpr uint32_t VI_TITLE = 0x01;             // product name, blank, product version, build markers
constexpr uint32_t VI_PRODUCT_NAME = 0x02;
constexpr uint32_t VI_PRODUCT_VERSION = 0x04;
constexpr uint32_t VI_FILE_DESCRIPTION = 0x08;
constexpr uint32_t VI_LEGAL_NOTICE = 0x10;      // LegalCopyright
constexpr uint32_t VI_FILE_VERSION = 0x20;
constexpr uint32_t VI_FILE_FLAGS = 0x40;
constexpr uint32_t VI_ALL = 0x7F;

struct VERSION_INFO {
    uint32_t nRequest = 0;      // VI_ flags, set by the caller
    uint64_t nFileVersion = 0;  // dwFileVersionMS in the high half, dwFileVersionLS in the low half
    uint32_t nFileFlags = 0;    // dwFileFlags masked with dwFileFlagsMask
    std::string strTitle;       // ends in " - Private" and/or " - Debug" for such builds
    std::string strProductName;
    std::string strProductVersion;
    std::string strFileDescription;
    std::string strLegalNotice;
};

// Fills the requested items of info from fileName (null: the application's module, else the program).
// Returns true when every requested item was found; the items found are filled either way. With
// reportErrors, a version block that exists but cannot be read is reported with ReportSystemError.
bool ReadVersionInfo(VERSION_INFO& info, const char* fileName, bool reportErrors);
