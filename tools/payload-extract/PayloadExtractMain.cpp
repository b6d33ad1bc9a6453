// Diagnostic extractor: one line per event, "NAME total done body entry-size entry-written entry-body
// kind path"; on failure a last line "error KIND:CODE", and the reason on the error output. The
// install folder is taken as a full path (a relative one against the working folder). Files land only below
// the folders of the placeholders: any other destination stops the extraction, which removes what it wrote.
#include "PayloadExtractor.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Every file lands below one of the folders the placeholders stand for; a destination elsewhere (an
// absolute path in the archive) stops the extraction before its file is opened.
struct Confinement {
    std::vector<std::string> roots;
    std::string refused;
};

bool IsBelow(const std::string& path, const std::string& root)
{
    return !root.empty() && path.size() > root.size() + 1 && path[root.size()] == '\\' &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), static_cast<int>(root.size()),
                          root.c_str(), static_cast<int>(root.size())) == CSTR_EQUAL;
}

int PrintEvent(ExtractEvent* event)
{
    auto* confinement = static_cast<Confinement*>(event->pUser);
    if (event->nCode == EXTRACT_FILE_BEGIN && event->pszPath) {
        bool inside = false;
        for (const std::string& root : confinement->roots)
            inside = inside || IsBelow(event->pszPath, root);
        if (!inside) {
            confinement->refused = event->pszPath;
            return EXTRACT_STOP;
        }
    }
    const char* name = GetExtractEventName(event->nCode);
    std::printf("%s %lu %lu %lu %lu %lu %lu %d %s\n", name ? name : "?", static_cast<unsigned long>(event->nTotal),
                static_cast<unsigned long>(event->nDone), static_cast<unsigned long>(event->nBodyRead),
                static_cast<unsigned long>(event->nEntrySize), static_cast<unsigned long>(event->nEntryWritten),
                static_cast<unsigned long>(event->nEntryBodyRead), event->nKind,
                event->pszPath ? event->pszPath : "-");
    return EXTRACT_CONTINUE;
}

std::string FullPath(const char* path)
{
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : std::string(path);
}

std::string Reason(const PayloadExtractor& extractor)
{
    switch (extractor.GetErrorKind()) {
    case EXTRACT_ERROR_SYSTEM: {
        char text[512] = {};
        if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            extractor.GetSystemError(), 0, text, sizeof text, nullptr))
            return "system error " + std::to_string(extractor.GetSystemError());
        std::string message = text;
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
            message.pop_back();
        return message;
    }
    case EXTRACT_ERROR_VERIFY: return "a written file does not match its checksum";
    case EXTRACT_ERROR_CHECKSUM: return "the archive checksum does not match (damaged or not an archive)";
    case EXTRACT_ERROR_CANCELLED: return "cancelled";
    case EXTRACT_ERROR_TRUNCATED: return "the archive is truncated or malformed";
    default: return "unknown error";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: payload-extract ARCHIVE INSTALL_FOLDER [SAMPLES_FOLDER]\n");
        return 2;
    }
    PayloadExtractor extractor;
    extractor.SetInstallFolder(FullPath(argv[2]));
    if (argc == 4)
        extractor.SetSamplesFolder(argv[3]);  // a bare name means a folder on the all-users desktop
    Confinement confinement;
    for (const char* placeholder : {"<InstallPath>", "<SamplePath>", "<ProgramFiles>", "<ProgramCommon>",
                                    "<CommonData>", "<UserData>", "<CommonDocuments>", "<Documents>",
                                    "<CommonDesktop>", "<Desktop>", "<WinDir>", "<System>"})
        confinement.roots.push_back(extractor.ExpandPlaceholders(placeholder));
    extractor.SetCallback(PrintEvent, &confinement);
    if (extractor.Extract(argv[1]))
        return 0;
    std::printf("error %d:%08lX\n", extractor.GetErrorKind(), static_cast<unsigned long>(extractor.GetSystemError()));
    std::fflush(stdout);
    if (!confinement.refused.empty())
        std::fprintf(stderr, "payload-extract: %s: the destination %s lies outside the placeholders' folders\n",
                     argv[1], confinement.refused.c_str());
    else
        std::fprintf(stderr, "payload-extract: %s: %s\n", argv[1], Reason(extractor).c_str());
    return extractor.GetErrorKind();
}
