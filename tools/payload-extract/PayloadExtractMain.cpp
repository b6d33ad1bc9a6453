// Diagnostic extractor: one line per event, "NAME total done body entry-size entry-written entry-body
// kind path"; on failure a last line "error KIND:CODE".
#include "PayloadExtractor.h"

#include <cstdio>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: payload-extract ARCHIVE INSTALL_FOLDER [SAMPLES_FOLDER]\n");
        return 2;
    }
    PayloadExtractor extractor;
    extractor.SetInstallFolder(argv[2]);
    if (argc == 4)
        extractor.SetSamplesFolder(argv[3]);
    extractor.SetCallback(PrintEvent, nullptr);
    if (extractor.Extract(argv[1]))
        return 0;
    std::printf("error %d:%08lX\n", extractor.GetErrorKind(), static_cast<unsigned long>(extractor.GetSystemError()));
    std::fflush(stdout);
    return extractor.GetErrorKind();
}
