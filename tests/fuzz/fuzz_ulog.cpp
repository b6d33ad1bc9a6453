// Fuzzes the uninstall log reader: the result must not depend on how the file is cut into reads, every
// record must be well formed, and the records written again must read back the same.
#include "UninstallLogFormat.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool AnyFolder(const std::string& path) { return path.size() % 2 == 0; }

void ReadInPieces(UninstallLogReader& reader, const std::string& bytes, size_t piece)
{
    for (size_t at = 0; at < bytes.size(); at += piece)
        if (!reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at)))
            return;
    reader.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = data[0] % 64 + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    UninstallLogReader whole(AnyFolder);
    ReadUninstallLog(whole, bytes);
    UninstallLogReader pieces(AnyFolder);
    ReadInPieces(pieces, bytes, piece);
    if (whole.GetRecords() != pieces.GetRecords() || whole.IsStopped() != pieces.IsStopped() ||
        whole.GetLineCount() != pieces.GetLineCount() || whole.GetInstallPath() != pieces.GetInstallPath() ||
        whole.GetShortcutPath() != pieces.GetShortcutPath() ||
        whole.GetPreviousProduct() != pieces.GetPreviousProduct())
        std::abort();
    if (!whole.GetRecords().empty() && whole.GetVersion() != ULOG_FORMAT_VERSION)
        std::abort();

    std::string text;
    for (const std::string& line : FormatHeaderLines("P 1", "P 0", "C:\\I", "C:\\S"))
        text += line;
    int sequence = 9990;  // crosses into five-digit sequence numbers
    for (const ULOG_LINE_RECORD& r : whole.GetRecords()) {
        if (r.nKind < 0 || r.nKind >= LR_KIND_COUNT || r.nCode < -1 || r.nCode > 254 ||
            r.strPath.find_first_of("\n") != std::string::npos || (GetFixedRecordText(r.nKind) && !r.strPath.empty()))
            std::abort();
        const char* fixed = GetFixedRecordText(r.nKind);
        text += FormatRecordLine(sequence++, r.nKind, r.nCode, r.bDone, fixed ? fixed : r.strPath);
    }
    UninstallLogReader again(AnyFolder);
    ReadUninstallLog(again, text);
    // A record line longer than the reader's buffer stops it; every other record must come back.
    const bool tooLong = std::any_of(whole.GetRecords().begin(), whole.GetRecords().end(),
                                     [](const ULOG_LINE_RECORD& r) { return r.strPath.size() > 900; });
    if (!tooLong && (again.IsStopped() || again.GetRecords() != whole.GetRecords()))
        std::abort();
    return 0;
}
