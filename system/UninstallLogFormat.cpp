// The uninstall log's text format: header and record lines, written and read back.
#include "UninstallLogFormat.h"

#include "IntegerParse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

const char* const ULOG_UNINSTALL_KEY_TEXT =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5";
const char* const ULOG_SELF_REGISTRATION_TEXT = "HKEY_CLASSES_ROOT\\...";

namespace {

const char* const HEADER_PREFIX = "// ";
const char* const HEADER_VERSION = "Uninstall Log File v";
const char* const HEADER_WARNING = "############ WARNING: Do not delete or modify this file. ############";
const char* const HEADER_INSTALL = "Install";
const char* const HEADER_INSTALL_PATH = "Install Path";
const char* const HEADER_SHORTCUT_PATH = "Shortcut Path";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A whole field as one number under the installer's integer rule: nothing but white space may follow.
bool ParseField(const std::string& text, int base, long& value)
{
    bool error = true;
    value = ParseIntegerText(text.c_str(), &error, base);
    return !error;
}

// Number of occurrences of needle in text; none of the header keys can overlap itself.
size_t CountOf(const std::string& text, const char* needle)
{
    const size_t length = std::strlen(needle);
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + length))
        ++count;
    return count;
}

// Removes the one occurrence of key; false when key is not there exactly once.
bool RemoveSingle(std::string& text, const char* key)
{
    if (CountOf(text, key) != 1)
        return false;
    text.erase(text.find(key), std::strlen(key));
    return true;
}

void TrimLeading(std::string& text, const char* characters)
{
    text.erase(0, text.find_first_not_of(characters));
}

}  // namespace

std::string AsciiFromWide(const char16_t* text, size_t count)
{
    std::string out;
    for (size_t k = 0; k < count; ++k)
        out += text[k] < 0x80 ? static_cast<char>(text[k]) : '?';
    return out;
}

const char* GetFixedRecordText(int kind)
{
    if (kind == LR_UNINSTALL_KEY)
        return ULOG_UNINSTALL_KEY_TEXT;
    if (kind == LR_SELF_REGISTRATION)
        return ULOG_SELF_REGISTRATION_TEXT;
    return nullptr;
}

std::string FormatRecordLine(int sequence, int kind, int code, bool done, const std::string& path)
{
    char head[48];
    std::snprintf(head, sizeof head, "%04d:%04X:%d -- ", sequence,
                  static_cast<unsigned>(kind) * 256u + (static_cast<unsigned>(code) & 0xFFu), done ? 1 : 0);
    return head + path + "\r\n";
}

std::vector<std::string> FormatHeaderLines(const std::string& product, const std::string& previousProduct,
                                           const std::string& installPath, const std::string& shortcutPath)
{
    std::string install = std::string(HEADER_INSTALL) + " " + product;
    if (!previousProduct.empty())
        install += " -- Update (" + previousProduct + ")";
    const std::string shortcut = std::string(HEADER_SHORTCUT_PATH) + " : " + shortcutPath;
    const std::string texts[] = {
        std::string(HEADER_VERSION) + std::to_string(ULOG_FORMAT_VERSION),
        HEADER_WARNING,
        install,
        std::string(HEADER_INSTALL_PATH) + " : " + installPath,
        shortcut,
        std::string(shortcut.size(), '-'),
    };
    std::vector<std::string> lines;
    for (const std::string& text : texts)
        lines.push_back(HEADER_PREFIX + text + "\r\n");
    return lines;
}

void TrimTrailingSpace(std::string& text)
{
    size_t end = text.size();
    while (end > 0 && IsSpace(text[end - 1]))
        --end;
    text.resize(end);
}

bool ParseRecordLine(const std::string& line, ULOG_LINE_RECORD& record)
{
    // Sequence: four characters that read as one number, then ':'. Files of more than 10,000 records carry
    // longer runs of digits, accepted as well. The number itself is not used.
    if (line.size() < 5)
        return false;
    long value = 0;
    size_t pos = 0;
    if (ParseField(line.substr(0, 4), 10, value) && line[4] == ':') {
        pos = 5;
    } else {
        for (pos = 0; pos < line.size() && IsDigit(line[pos]); ++pos) {
        }
        if (pos <= 4 || pos >= line.size() || line[pos] != ':')
            return false;
        ++pos;
    }

    // Kind and code: four characters that read as one hexadecimal number, then ':'.
    if (line.size() < pos + 5 || line[pos + 4] != ':' || !ParseField(line.substr(pos, 4), 16, value))
        return false;
    const int32_t field = static_cast<int32_t>(value);
    const int32_t kind = field >> 8;
    if (kind < 0 || kind >= LR_KIND_COUNT)
        return false;
    const int code = field & 0xFF;
    pos += 5;

    if (pos >= line.size() || (line[pos] != '0' && line[pos] != '1'))
        return false;
    record.nKind = kind;
    record.nCode = code == 0xFF ? -1 : code;
    record.bDone = line[pos] == '1';
    record.strPath = line.substr(pos + 1);
    TrimLeading(record.strPath, " -");
    if (GetFixedRecordText(kind))
        record.strPath.clear();
    return true;
}

UninstallLogReader::UninstallLogReader(FolderTest folderExists, WideToAnsi wideToAnsi)
    : m_folderExists(std::move(folderExists)), m_wideToAnsi(std::move(wideToAnsi))
{
    if (!m_wideToAnsi)
        m_wideToAnsi = AsciiFromWide;
}

bool UninstallLogReader::Feed(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    const char* const end = p + size;
    // The first two bytes decide the encoding: FF FE is UTF-16 little-endian for the whole file.
    while (!m_bStarted && p < end) {
        m_pending += *p++;
        if (m_pending.size() == 2) {
            m_bStarted = true;
            m_bUtf16 = m_pending == "\xFF\xFE";
            if (!m_bUtf16) {
                // Either byte may already end a line.
                std::string head = std::exchange(m_pending, std::string());
                if (!Feed(head.data(), head.size()))
                    return false;
            }
        }
    }

    const size_t limit = ULOG_LINE_BUFFER - (m_bUtf16 ? 2 : 1);
    while (p < end && !m_bStopped) {
        if (m_bUtf16) {
            // A line ends at the code unit 0x000A, never at a 0x0A byte inside another character.
            m_pending += *p++;
            const size_t n = m_pending.size();
            if (n > limit)
                m_bStopped = true;
            else if (n % 2 == 0 && m_pending[n - 2] == '\n' && m_pending[n - 1] == '\0')
                EndLine();
        } else {
            const void* found = std::memchr(p, '\n', static_cast<size_t>(end - p));
            const char* stop = found ? static_cast<const char*>(found) + 1 : end;
            m_pending.append(p, stop);
            p = stop;
            if (m_pending.size() > limit)
                m_bStopped = true;
            else if (found)
                EndLine();
        }
    }
    return !m_bStopped;
}

void UninstallLogReader::Finish()
{
    if (m_bStopped)
        return;
    if (!m_bStarted) {
        // Fewer than two bytes in the whole file.
        m_bStarted = true;
        std::string head = std::exchange(m_pending, std::string());
        if (!Feed(head.data(), head.size()))
            return;
    }
    if (!m_pending.empty())
        EndLine();
}

void UninstallLogReader::EndLine()
{
    std::string line;
    if (m_bUtf16) {
        std::u16string units;
        for (size_t k = 0; k + 1 < m_pending.size(); k += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(m_pending[k]) |
                                           static_cast<unsigned char>(m_pending[k + 1]) << 8);
        if (m_bFirstLine && !units.empty() && units[0] == 0xFEFF)
            units.erase(0, 1);
        if (!units.empty())
            line = m_wideToAnsi(units.data(), units.size());
    } else {
        line = std::move(m_pending);
    }
    m_pending.clear();
    m_bFirstLine = false;
    if (!ProcessLine(std::move(line)))
        m_bStopped = true;
}

bool UninstallLogReader::ProcessLine(std::string line)
{
    if (m_bStopped)
        return false;
    // The line is a C string: a zero byte ends it.
    line.resize(std::strlen(line.c_str()));
    TrimTrailingSpace(line);
    if (line.empty())
        return true;
    ++m_nLine;

    if (line.compare(0, 2, "//") == 0) {
        if (!ProcessHeaderLine(std::move(line)))
            m_bStopped = true;
        return !m_bStopped;
    }

    ULOG_LINE_RECORD record;
    if (m_nVersion != ULOG_FORMAT_VERSION || !ParseRecordLine(line, record)) {
        m_bStopped = true;
        return false;
    }
    m_records.push_back(std::move(record));
    return true;
}

bool UninstallLogReader::ProcessHeaderLine(std::string text)
{
    TrimLeading(text, "/");
    TrimLeading(text, " \t\r\n\v\f");
    switch (m_nLine - 1) {
    case 0: {
        if (!RemoveSingle(text, HEADER_VERSION))
            return false;
        // The number counts whatever follows it.
        const long version = ParseIntegerText(text.c_str(), nullptr, 10);
        if (version != ULOG_FORMAT_VERSION)
            return false;
        m_nVersion = ULOG_FORMAT_VERSION;
        return true;
    }
    case 2: {
        if (!RemoveSingle(text, HEADER_INSTALL))
            return false;
        const size_t separator = text.find("--");
        if (separator != std::string::npos)
            text.resize(separator);
        TrimLeading(text, " \t\r\n\v\f");
        TrimTrailingSpace(text);
        m_strPreviousProduct = text;
        return true;
    }
    case 3:
    case 4: {
        if (!RemoveSingle(text, m_nLine - 1 == 3 ? HEADER_INSTALL_PATH : HEADER_SHORTCUT_PATH))
            return false;
        TrimLeading(text, " :");
        // A folder that no longer exists is not proposed again.
        if (!text.empty() && m_folderExists && m_folderExists(text))
            (m_nLine - 1 == 3 ? m_strInstallPath : m_strShortcutPath) = text;
        return true;
    }
    default:
        return true;
    }
}

void ReadUninstallLog(UninstallLogReader& reader, const std::string& bytes)
{
    if (reader.Feed(bytes.data(), bytes.size()))
        reader.Finish();
}
