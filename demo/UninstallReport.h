// The uninstaller's final message. Pure: no system calls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// At most this many items are listed; the rest are counted.
constexpr size_t UNINSTALL_REPORT_ITEMS = 15;

// What was removed, what could not be (failed, in the order met) and where shared data files were kept.
std::string FormatUninstallReport(const std::string& product, const std::vector<std::string>& failed,
                                  const std::vector<std::string>& keptFolders);
