// Diagnostic extractor: one line per event, "NAME total done body entry-size entry-written entry-body
// kind path"; on failure a last line "error KIND:CODE", and the reason on the error output. The
// install folder is taken as a full path (a relative one against the working folder). Files land only below
// the folders of the placeholders: any other destination stops the extraction, which removes what it wrote.
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
#include <vector>

namespace {

// Every file lands below one of the folders the placeholders stand for; a destination elsewhere (an
// absolute path in the archive) stops the extraction before its file is opened.
struct Confinement {
    std::vector<std::string> roots;
    std::string refused;
    bool bQuiet = false;
};

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
    if (confinement->bQuiet)
        return EXTRACT_CONTINUE;
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
    bool timings = false;
    Confinement confinement;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
        if (std::strcmp(argv[first], "--quiet") == 0)
            confinement.bQuiet = true;
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
    const char* archive = argv[first];
    PayloadExtractor extractor;
    extractor.SetInstallFolder(FullPath(argv[first + 1]));
    if (left == 3)
        extractor.SetSamplesFolder(argv[first + 2]);  // a bare name means a folder on the all-users desktop
    for (const char* placeholder : {"<InstallPath>", "<SamplePath>", "<ProgramFiles>", "<ProgramCommon>",
                                    "<CommonData>", "<UserData>", "<CommonDocuments>", "<Documents>",
                                    "<CommonDesktop>", "<Desktop>", "<WinDir>", "<System>"})
        confinement.roots.push_back(extractor.ExpandPlaceholders(placeholder));
    extractor.SetCallback(PrintEvent, &confinement);
    ExtractTimings measured;
    if (timings)
        extractor.SetTimings(&measured);
    const int64_t start = Now();
    const bool ok = extractor.Extract(archive);
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
    if (ok)
        return 0;
    if (!confinement.refused.empty())
        std::fprintf(stderr, "payload-extract: %s: the destination %s lies outside the placeholders' folders\n",
                     archive, confinement.refused.c_str());
    else
        std::fprintf(stderr, "payload-extract: %s: %s\n", archive, Reason(extractor).c_str());
    return extractor.GetErrorKind();
}
