#include "UninstallReport.h"

std::string FormatUninstallReport(const std::string& product, const std::vector<std::string>& failed,
                                  const std::vector<std::string>& keptFolders)
{
    std::string text;
    if (failed.empty()) {
        text = product + " was removed from your computer.";
    } else {
        text = product + " was removed, but these items could not be removed:\n";
        for (size_t i = 0; i < failed.size() && i < UNINSTALL_REPORT_ITEMS; ++i)
            text += "\n" + failed[i];
        if (failed.size() > UNINSTALL_REPORT_ITEMS)
            text += "\n(and " + std::to_string(failed.size() - UNINSTALL_REPORT_ITEMS) + " more)";
        text += "\n\nYou can delete them yourself.";
    }
    if (!keptFolders.empty()) {
        text += "\n\nYour shared data files were kept in: " + keptFolders[0];
        for (size_t i = 1; i < keptFolders.size(); ++i)
            text += "\n" + keptFolders[i];
    }
    return text;
}
