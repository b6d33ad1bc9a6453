// Diagnostic extractor: one line per event, "NAME total done body entry-size entry-written entry-body
// kind path"; on failure a last line "error KIND:CODE", and the reason on the error output. The
// install folder is taken as a full path (a relative one against the working folder).
#include "PayloadExtractor.h"

#include <cstdio>
#include <string>

namespace {

int PrintEvent(ExtractEvent* event)
{
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
    extractor.SetCallback(PrintEvent, nullptr);
    if (extractor.Extract(argv[1]))
        return 0;
    std::printf("error %d:%08lX\n", extractor.GetErrorKind(), static_cast<unsigned long>(extractor.GetSystemError()));
    std::fflush(stdout);
    std::fprintf(stderr, "payload-extract: %s: %s\n", argv[1], Reason(extractor).c_str());
    return extractor.GetErrorKind();
}
