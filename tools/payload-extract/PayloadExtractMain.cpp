// Diagnostic extractor: one line per event, "NAME total done body entry-size entry-written entry-body
// kind path"; on failure a last line "error KIND:CODE".
//
//   payload-extract [--quiet] [--timings] ARCHIVE INSTALL_FOLDER [SAMPLES_FOLDER]
//
// The lines are collected in blocks of 64 KiB and written a block at a time (a console or pipe write per
// line costs more than the extraction itself under Wine). --quiet prints no event lines; --timings ends with
// a line "timings checksum MS loop MS decode MS files MS writes MS verify MS total MS files N".
#include "PayloadExtractor.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

class BlockOutput {
public:
    ~BlockOutput() { Flush(); }
    void Line(const char* text, size_t length)
    {
        if (m_fill + length > sizeof m_buffer)
            Flush();
        if (length > sizeof m_buffer) {
            std::fwrite(text, 1, length, stdout);
            return;
        }
        std::memcpy(m_buffer + m_fill, text, length);
        m_fill += length;
    }
    void Flush()
    {
        if (m_fill > 0)
            std::fwrite(m_buffer, 1, m_fill, stdout);
        m_fill = 0;
        std::fflush(stdout);
    }

private:
    char m_buffer[64 * 1024];
    size_t m_fill = 0;
};

BlockOutput g_output;

int PrintEvent(ExtractEvent* event)
{
    const char* name = GetExtractEventName(event->nCode);
    char line[512];
    const int length = std::snprintf(
        line, sizeof line, "%s %lu %lu %lu %lu %lu %lu %d %s\n", name ? name : "?",
        static_cast<unsigned long>(event->nTotal), static_cast<unsigned long>(event->nDone),
        static_cast<unsigned long>(event->nBodyRead), static_cast<unsigned long>(event->nEntrySize),
        static_cast<unsigned long>(event->nEntryWritten), static_cast<unsigned long>(event->nEntryBodyRead),
        event->nKind, event->pszPath ? event->pszPath : "-");
    if (length > 0)
        g_output.Line(line, std::min<size_t>(static_cast<size_t>(length), sizeof line - 1));
    return EXTRACT_CONTINUE;
}

double Milliseconds(int64_t ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

int64_t Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

}  // namespace

int main(int argc, char** argv)
{
    bool quiet = false, timings = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
        if (std::strcmp(argv[first], "--quiet") == 0)
            quiet = true;
        else if (std::strcmp(argv[first], "--timings") == 0)
            timings = true;
        else
            break;
    }
    const int left = argc - first;
    if (left < 2 || left > 3) {
        std::fprintf(stderr, "usage: payload-extract [--quiet] [--timings] ARCHIVE INSTALL_FOLDER [SAMPLES_FOLDER]\n");
        return 2;
    }
    PayloadExtractor extractor;
    extractor.SetInstallFolder(argv[first + 1]);
    if (left == 3)
        extractor.SetSamplesFolder(argv[first + 2]);
    extractor.SetCallback(quiet ? nullptr : PrintEvent, nullptr);
    ExtractTimings measured;
    if (timings)
        extractor.SetTimings(&measured);
    const int64_t start = Now();
    const bool ok = extractor.Extract(argv[first]);
    const int64_t total = Now() - start;
    if (!ok) {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "error %d:%08lX\n", extractor.GetErrorKind(),
                                         static_cast<unsigned long>(extractor.GetSystemError()));
        g_output.Line(line, static_cast<size_t>(length));
    }
    if (timings) {
        const int64_t decode = measured.nLoop - measured.nFileCalls - measured.nWrites;
        char line[256];
        const int length = std::snprintf(
            line, sizeof line,
            "timings checksum %.1f loop %.1f decode %.1f files %.1f writes %.1f verify %.1f total %.1f files %lu\n",
            Milliseconds(measured.nChecksum), Milliseconds(measured.nLoop), Milliseconds(decode),
            Milliseconds(measured.nFileCalls), Milliseconds(measured.nWrites), Milliseconds(measured.nVerify),
            Milliseconds(total), static_cast<unsigned long>(measured.nFiles));
        g_output.Line(line, static_cast<size_t>(length));
    }
    g_output.Flush();
    return ok ? 0 : extractor.GetErrorKind();
}
