// The uninstall log's text format: header and record lines, written and read back. Pure: the Windows
// side supplies the folder test and the UTF-16 to ANSI conversion.
//
// A file is six header lines "// text\r\n" followed by one record line per change,
// "%04d:%04X:%d -- %s\r\n": sequence, kind * 256 + (code & 0xFF), done flag, path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Record kinds: the high byte of a record line's second field.
constexpr int LR_FOLDER = 0;
constexpr int LR_FILE = 1;
constexpr int LR_MENU_PROGRAM_SHORTCUT = 2;
constexpr int LR_MENU_UNINSTALL_SHORTCUT = 3;
constexpr int LR_DESKTOP_SHORTCUT = 4;
constexpr int LR_UNINSTALL_KEY = 5;
constexpr int LR_SELF_REGISTRATION = 6;
constexpr int LR_KIND_COUNT = 7;

constexpr int ULOG_FORMAT_VERSION = 1;
constexpr const char* ULOG_FILE_NAME = "Uninstall.ulog";

// The line buffer of the reader, line feed and terminating zero bytes included: a line may have at most
// ULOG_LINE_BUFFER - 1 bytes in ANSI and ULOG_LINE_BUFFER - 2 in UTF-16 (its byte-order mark counted).
// A longer line stops the reading.
constexpr size_t ULOG_LINE_BUFFER = 1024;

// The texts written in place of the path of the two registry-related kinds.
extern const char* const ULOG_UNINSTALL_KEY_TEXT;
extern const char* const ULOG_SELF_REGISTRATION_TEXT;

// The fixed text of kinds 5 and 6; null for the other kinds.
const char* GetFixedRecordText(int kind);

// One record as it stands in a line.
struct ULOG_LINE_RECORD {
    int nKind = 0;
    int nCode = -1;  // low byte of the second field; 0xFF reads back as -1
    bool bDone = false;
    std::string strPath;  // empty for kinds 5 and 6 when read

    bool operator==(const ULOG_LINE_RECORD& other) const
    {
        return nKind == other.nKind && nCode == other.nCode && bDone == other.bDone && strPath == other.strPath;
    }
};

// "%04d:%04X:%d -- %s\r\n". Past 9999 the sequence takes more digits; the reader accepts them.
std::string FormatRecordLine(int sequence, int kind, int code, bool done, const std::string& path);

// The six header lines, each ending in CR LF. previousProduct empty: a first installation.
std::vector<std::string> FormatHeaderLines(const std::string& product, const std::string& previousProduct,
                                           const std::string& installPath, const std::string& shortcutPath);

// Parses one record line (trailing white space already removed). False when any rule fails.
bool ParseRecordLine(const std::string& line, ULOG_LINE_RECORD& record);

// Removes trailing white space (space, tab, CR, LF, vertical tab, form feed).
void TrimTrailingSpace(std::string& text);

// The conversion used when none is given: ASCII kept, every other character becomes '?'.
std::string AsciiFromWide(const char16_t* text, size_t count);

// Reads a log file fed to it in pieces of any size. Reading stops at the first line that breaks a rule;
// what was read before stays.
class UninstallLogReader {
public:
    // true when path names an existing folder.
    using FolderTest = std::function<bool(const std::string& path)>;
    // UTF-16 code units of one line to the ANSI code page.
    using WideToAnsi = std::function<std::string(const char16_t* text, size_t count)>;

    UninstallLogReader(FolderTest folderExists, WideToAnsi wideToAnsi = nullptr);

    // Feeds the next bytes of the file; false once the reading has stopped.
    bool Feed(const void* data, size_t size);
    // End of the file: the last, unterminated line is processed too.
    void Finish();
    // A read error: the reading ends, the partial line is dropped.
    void Abort() { m_bStopped = true; }

    bool IsStopped() const { return m_bStopped; }
    bool IsUtf16() const { return m_bUtf16; }
    int GetVersion() const { return m_nVersion; }
    // Counted (non-empty) lines so far, header and record lines alike.
    int GetLineCount() const { return m_nLine; }

    // Header values: the installation and Start-menu folders only when they exist.
    const std::string& GetPreviousProduct() const { return m_strPreviousProduct; }
    const std::string& GetInstallPath() const { return m_strInstallPath; }
    const std::string& GetShortcutPath() const { return m_strShortcutPath; }
    const std::vector<ULOG_LINE_RECORD>& GetRecords() const { return m_records; }

    // Processes one line of text (ANSI, line end included or not). False when it stops the reading.
    bool ProcessLine(std::string line);

private:
    void EndLine();
    bool ProcessHeaderLine(std::string text);

    FolderTest m_folderExists;
    WideToAnsi m_wideToAnsi;
    std::string m_pending;  // bytes of the line being read
    bool m_bStarted = false;  // the byte-order mark has been looked for
    bool m_bUtf16 = false;
    bool m_bFirstLine = true;
    bool m_bStopped = false;
    int m_nVersion = 0;
    int m_nLine = 0;
    std::string m_strPreviousProduct;
    std::string m_strInstallPath;
    std::string m_strShortcutPath;
    std::vector<ULOG_LINE_RECORD> m_records;
};

// Reads a whole file image in one piece.
void ReadUninstallLog(UninstallLogReader& reader, const std::string& bytes);
