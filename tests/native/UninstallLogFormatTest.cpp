// The uninstall log's line format and its reader.
#include "UninstallLogFormat.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const std::string INSTALL = "C:\\Program Files\\Quillon & Partners\\Sarventa 5";
const std::string MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\\Sarventa 5";

ULOG_LINE_RECORD Rec(int kind, int code, bool done, const std::string& path)
{
    ULOG_LINE_RECORD r;
    r.nKind = kind, r.nCode = code, r.bDone = done, r.strPath = path;
    return r;
}

// A reader whose existing folders are the given set.
struct Reader : UninstallLogReader {
    explicit Reader(std::set<std::string> folders = {INSTALL, MENU})
        : UninstallLogReader([folders](const std::string& p) { return folders.count(p) != 0; })
    {
    }
};

std::string Header(const std::string& previous = "")
{
    std::string out;
    for (const std::string& line : FormatHeaderLines("Sarventa 5.23i", previous, INSTALL, MENU))
        out += line;
    return out;
}

// The log of a first installation in English, as the installer writes it.
std::vector<ULOG_LINE_RECORD> ExampleRecords()
{
    return {
        Rec(LR_FOLDER, -1, true, "C:\\Program Files\\Quillon & Partners"),
        Rec(LR_FOLDER, -1, true, INSTALL),
        Rec(LR_FILE, 1, true, INSTALL + "\\Sarventa.exe"),
        Rec(LR_FILE, 0, true, INSTALL + "\\Sarventa.dll"),
        Rec(LR_FILE, 2, true, INSTALL + "\\Uninstall.exe"),
        Rec(LR_FILE, 3, false, INSTALL + "\\Shared.dat"),
        Rec(LR_FILE, 4, true, INSTALL + "\\Sample.plk"),
        Rec(LR_FOLDER, -1, true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners"),
        Rec(LR_FOLDER, -1, true, MENU),
        Rec(LR_MENU_PROGRAM_SHORTCUT, -1, true, MENU + "\\Sarventa 5.23i.lnk"),
        Rec(LR_MENU_UNINSTALL_SHORTCUT, -1, true, MENU + "\\Uninstall Sarventa.lnk"),
        Rec(LR_DESKTOP_SHORTCUT, -1, true, "C:\\Users\\Public\\Desktop\\Sarventa 5.23i.lnk"),
        Rec(LR_UNINSTALL_KEY, -1, true, ""),
        Rec(LR_SELF_REGISTRATION, -1, true, ""),
    };
}

std::string Format(const std::vector<ULOG_LINE_RECORD>& records, int first = 0)
{
    std::string out;
    for (const ULOG_LINE_RECORD& r : records) {
        const char* fixed = GetFixedRecordText(r.nKind);
        out += FormatRecordLine(first++, r.nKind, r.nCode, r.bDone, fixed ? fixed : r.strPath);
    }
    return out;
}

TEST(UninstallLogFormat, HeaderLines)
{
    const auto lines = FormatHeaderLines("Sarventa 5.23i", "", INSTALL, MENU);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "// Uninstall Log File v1\r\n");
    EXPECT_EQ(lines[1], "// ############ WARNING: Do not delete or modify this file. ############\r\n");
    EXPECT_EQ(lines[2], "// Install Sarventa 5.23i\r\n");
    EXPECT_EQ(lines[3], "// Install Path : " + INSTALL + "\r\n");
    EXPECT_EQ(lines[4], "// Shortcut Path : " + MENU + "\r\n");
    EXPECT_EQ(lines[5], "// " + std::string(98, '-') + "\r\n");  // as long as line 5's text
    EXPECT_EQ(FormatHeaderLines("Sarventa 5.23i", "Sarventa 5.22", "", "")[2],
              "// Install Sarventa 5.23i -- Update (Sarventa 5.22)\r\n");
    EXPECT_EQ(FormatHeaderLines("P", "", "", "")[5], "// ----------------\r\n");
}

TEST(UninstallLogFormat, RecordLines)
{
    EXPECT_EQ(FormatRecordLine(2, LR_FILE, 1, true, "C:\\a.exe"), "0002:0101:1 -- C:\\a.exe\r\n");
    EXPECT_EQ(FormatRecordLine(0, LR_FOLDER, -1, true, "C:\\x"), "0000:00FF:1 -- C:\\x\r\n");
    EXPECT_EQ(FormatRecordLine(37, LR_DESKTOP_SHORTCUT, -1, false, ""), "0037:04FF:0 -- \r\n");
    EXPECT_EQ(FormatRecordLine(12345, LR_FILE, 0, true, "p"), "12345:0100:1 -- p\r\n");
    EXPECT_STREQ(GetFixedRecordText(LR_UNINSTALL_KEY),
                 "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5");
    EXPECT_STREQ(GetFixedRecordText(LR_SELF_REGISTRATION), "HKEY_CLASSES_ROOT\\...");
    EXPECT_EQ(GetFixedRecordText(LR_FILE), nullptr);
}

TEST(UninstallLogFormat, ExampleLogReadLineByLine)
{
    const std::string text = Header() + Format(ExampleRecords());
    Reader reader;
    size_t start = 0;
    int lines = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start) + 1;
        ASSERT_TRUE(reader.ProcessLine(text.substr(start, end - start))) << text.substr(start, end - start);
        start = end;
        EXPECT_EQ(reader.GetLineCount(), ++lines);
    }
    EXPECT_EQ(reader.GetVersion(), 1);
    EXPECT_EQ(reader.GetPreviousProduct(), "Sarventa 5.23i");
    EXPECT_EQ(reader.GetInstallPath(), INSTALL);
    EXPECT_EQ(reader.GetShortcutPath(), MENU);
    EXPECT_EQ(reader.GetRecords(), ExampleRecords());
}

TEST(UninstallLogFormat, RecordFieldRules)
{
    ULOG_LINE_RECORD r;
    ASSERT_TRUE(ParseRecordLine("0000:0101:1 -- C:\\a b\\c.exe", r));
    EXPECT_EQ(r, Rec(LR_FILE, 1, true, "C:\\a b\\c.exe"));
    // Kinds 5 and 6 lose their fixed texts; any text reads back empty.
    ASSERT_TRUE(ParseRecordLine(std::string("0001:05FF:1 -- ") + ULOG_UNINSTALL_KEY_TEXT, r));
    EXPECT_EQ(r, Rec(LR_UNINSTALL_KEY, -1, true, ""));
    ASSERT_TRUE(ParseRecordLine("0002:06FF:0 -- whatever", r));
    EXPECT_EQ(r, Rec(LR_SELF_REGISTRATION, -1, false, ""));
    // A failed shortcut: the line ends at the separator (its blank was trimmed).
    ASSERT_TRUE(ParseRecordLine("0003:02FF:0 --", r));
    EXPECT_EQ(r, Rec(LR_MENU_PROGRAM_SHORTCUT, -1, false, ""));
    ASSERT_TRUE(ParseRecordLine("0003:03FF:0", r));
    EXPECT_EQ(r.strPath, "");
    // The integer parse: white space and sign around the number, lower-case hex.
    ASSERT_TRUE(ParseRecordLine("  7 :  ff:1 -- x", r));
    EXPECT_EQ(r, Rec(LR_FOLDER, -1, true, "x"));
    ASSERT_TRUE(ParseRecordLine("-001:0104:1---  x", r));
    EXPECT_EQ(r, Rec(LR_FILE, 4, true, "x"));

    for (const char* bad : {
             "0000:0700:1 -- kind 7",      "0000:FFFF:1 -- negative kind", "0000:-1FF:1 -- negative",
             "0000:01G0:1 -- bad hex",     "0000:01 0:1 -- blank inside",  "0000:0100:2 -- done digit 2",
             "0000:0100:x -- done letter", "0000:0100:",                   "0000:0100",
             "000:0100:1 -- short",        "00a0:0100:1 -- letter",        "0000;0100:1 -- colon",
             "0000:0100;1 -- colon",       "    :0100:1 -- no digit",      "",
             "00000100:1 -- no colon",     "0000:",
         })
        EXPECT_FALSE(ParseRecordLine(bad, r)) << bad;
}

TEST(UninstallLogFormat, SequencesPastFourDigits)
{
    ULOG_LINE_RECORD r;
    ASSERT_TRUE(ParseRecordLine("10000:0100:1 -- C:\\f", r));
    EXPECT_EQ(r, Rec(LR_FILE, 0, true, "C:\\f"));
    ASSERT_TRUE(ParseRecordLine("1234567:04FF:1 -- C:\\l.lnk", r));
    EXPECT_EQ(r.nKind, LR_DESKTOP_SHORTCUT);
    EXPECT_FALSE(ParseRecordLine("10000 :0100:1 -- x", r));
    EXPECT_FALSE(ParseRecordLine("1000x0:0100:1 -- x", r));
    EXPECT_FALSE(ParseRecordLine("12345", r));

    // A whole file of more than 10,000 records reads back completely.
    std::vector<ULOG_LINE_RECORD> many;
    for (int k = 0; k < 10500; ++k)
        many.push_back(Rec(LR_FILE, k % 5, k % 3 != 0, "C:\\P\\file" + std::to_string(k) + ".dat"));
    Reader reader;
    ReadUninstallLog(reader, Header() + Format(many));
    EXPECT_FALSE(reader.IsStopped());
    EXPECT_EQ(reader.GetRecords(), many);
}

TEST(UninstallLogFormat, RoundTrip)
{
    std::vector<ULOG_LINE_RECORD> records = ExampleRecords();
    records.push_back(Rec(LR_FILE, 0x7F, false, "D:\\x\\\xE9t\xE9 -- y.txt"));
    records.push_back(Rec(LR_MENU_UNINSTALL_SHORTCUT, -1, false, ""));
    for (int code = -1; code <= 4; ++code)
        records.push_back(Rec(LR_FILE, code, true, "C:\\" + std::to_string(code)));
    Reader reader;
    ReadUninstallLog(reader, Header("Sarventa 5.22") + Format(records));
    EXPECT_FALSE(reader.IsStopped());
    EXPECT_EQ(reader.GetPreviousProduct(), "Sarventa 5.23i");
    EXPECT_EQ(reader.GetRecords(), records);
}

TEST(UninstallLogFormat, HeaderRules)
{
    const std::string one = Format({Rec(LR_FILE, 0, true, "C:\\a")});
    {
        // A wrong first line: nothing at all is read.
        Reader reader;
        ReadUninstallLog(reader, "// Uninstall Log File v2\r\n// x\r\n// Install P\r\n// Install Path : " + INSTALL +
                                     "\r\n" + one);
        EXPECT_TRUE(reader.IsStopped());
        EXPECT_EQ(reader.GetLineCount(), 1);
        EXPECT_TRUE(reader.GetRecords().empty());
        EXPECT_EQ(reader.GetInstallPath(), "");
    }
    for (const char* first : {"// Uninstall Log File\r\n", "// Uninstall Log File v1 Uninstall Log File v1\r\n",
                              "Uninstall Log File v1\r\n", "// Uninstall Log File vx\r\n"}) {
        Reader reader;
        ReadUninstallLog(reader, first + one);
        EXPECT_TRUE(reader.IsStopped()) << first;
        EXPECT_TRUE(reader.GetRecords().empty()) << first;
    }
    {
        // A record before the header stops at once.
        Reader reader;
        ReadUninstallLog(reader, one + Header() + one);
        EXPECT_TRUE(reader.IsStopped());
        EXPECT_EQ(reader.GetLineCount(), 1);
        EXPECT_EQ(reader.GetPreviousProduct(), "");
    }
    {
        // Leading slashes and blanks, blank lines not counted, lines past the sixth ignored, folders gone.
        Reader reader(std::set<std::string>{});
        ReadUninstallLog(reader, "\r\n///\t Uninstall Log File v1\n\n   \r\n//\n//Install  P 1 -- Update (Q)  \r\n"
                                 "// Install Path: C:\\gone\r\n// Shortcut Path : C:\\gone\r\n// -\r\n// later\r\n" +
                                     one);
        EXPECT_FALSE(reader.IsStopped());
        EXPECT_EQ(reader.GetLineCount(), 8);
        EXPECT_EQ(reader.GetPreviousProduct(), "P 1");
        EXPECT_EQ(reader.GetInstallPath(), "");
        EXPECT_EQ(reader.GetShortcutPath(), "");
        EXPECT_EQ(reader.GetRecords().size(), 1u);
    }
    {
        // "Install Path" twice stops the reading; the product read before stays.
        Reader reader;
        ReadUninstallLog(reader, "// Uninstall Log File v1\r\n//\r\n// Install P\r\n// Install Path Install Path\r\n" +
                                     one);
        EXPECT_TRUE(reader.IsStopped());
        EXPECT_EQ(reader.GetPreviousProduct(), "P");
        EXPECT_TRUE(reader.GetRecords().empty());
    }
}

TEST(UninstallLogFormat, StopKeepsWhatWasReadBefore)
{
    for (const char* bad : {"0002:0700:1 -- kind 7\r\n", "0002:01X0:1 -- hex\r\n", "0002:0100:2 -- done 2\r\n"}) {
        Reader reader;
        ReadUninstallLog(reader, Header() + Format({Rec(LR_FOLDER, -1, true, "C:\\a"), Rec(LR_FILE, 1, true, "C:\\b")}) +
                                     bad + Format({Rec(LR_FILE, 0, true, "C:\\c")}, 3));
        EXPECT_TRUE(reader.IsStopped()) << bad;
        EXPECT_EQ(reader.GetRecords().size(), 2u) << bad;
        EXPECT_EQ(reader.GetInstallPath(), INSTALL);
    }
}

TEST(UninstallLogFormat, LongLinesStopTheReading)
{
    const std::string head = "0000:0100:1 -- ";
    // 1,023 bytes with the line feed fit; one more does not.
    for (size_t length : {ULOG_LINE_BUFFER - 1, ULOG_LINE_BUFFER, ULOG_LINE_BUFFER * 5}) {
        const std::string path = std::string(length - head.size() - 1, 'p');
        const std::string text = Header() + head + path + "\n" + Format({Rec(LR_FILE, 0, true, "C:\\c")}, 1);
        for (size_t piece : {size_t(1), size_t(7), text.size()}) {
            Reader reader;
            for (size_t at = 0; at < text.size() && !reader.IsStopped(); at += piece)
                reader.Feed(text.data() + at, std::min(piece, text.size() - at));
            reader.Finish();
            const bool fits = length < ULOG_LINE_BUFFER;
            EXPECT_EQ(reader.IsStopped(), !fits) << length << " " << piece;
            EXPECT_EQ(reader.GetRecords().size(), fits ? 2u : 0u) << length << " " << piece;
        }
    }
    // The unterminated last line obeys the same limit.
    Reader reader;
    ReadUninstallLog(reader, Header() + head + std::string(ULOG_LINE_BUFFER, 'p'));
    EXPECT_TRUE(reader.IsStopped());
    EXPECT_TRUE(reader.GetRecords().empty());
}

std::string Utf16(const std::u16string& text, bool mark = true)
{
    std::string out = mark ? "\xFF\xFE" : "";
    for (char16_t c : text)
        out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

TEST(UninstallLogFormat, Utf16Files)
{
    std::u16string text;
    for (char c : Header() + Format({Rec(LR_FILE, 1, true, "C:\\a.exe")}))
        text += static_cast<char16_t>(c);
    // U+040A has the byte 0A and must not end a line; U+00E9 becomes what the conversion makes of it.
    text += u"0001:0100:1 -- C:\\\u040A\u00E9.txt\r\n0002:04FF:0 --";
    std::vector<std::u16string> seen;
    UninstallLogReader reader([](const std::string&) { return true; },
                              [&](const char16_t* units, size_t count) {
                                  seen.emplace_back(units, count);
                                  return AsciiFromWide(units, count);
                              });
    ReadUninstallLog(reader, Utf16(text));
    EXPECT_TRUE(reader.IsUtf16());
    EXPECT_FALSE(reader.IsStopped());
    ASSERT_EQ(seen.size(), 9u);
    EXPECT_EQ(seen[0], u"// Uninstall Log File v1\r\n");  // without its mark
    EXPECT_EQ(reader.GetInstallPath(), INSTALL);
    EXPECT_EQ(reader.GetRecords(), (std::vector<ULOG_LINE_RECORD>{Rec(LR_FILE, 1, true, "C:\\a.exe"),
                                                                   Rec(LR_FILE, 0, true, "C:\\??.txt"),
                                                                   Rec(LR_DESKTOP_SHORTCUT, -1, false, "")}));

    // Byte by byte, and with an odd last byte.
    UninstallLogReader bytewise(nullptr);
    const std::string bytes = Utf16(text) + "\x41";
    for (char b : bytes)
        bytewise.Feed(&b, 1);
    bytewise.Finish();
    EXPECT_EQ(bytewise.GetRecords().size(), 3u);

    // A UTF-16 line holds at most 1,022 bytes, its mark included.
    UninstallLogReader longLine(nullptr);
    ReadUninstallLog(longLine, Utf16(u"// Uninstall Log File v1" + std::u16string(1020 / 2 - 24 - 1, u' ') + u"\n"));
    EXPECT_FALSE(longLine.IsStopped());
    EXPECT_EQ(longLine.GetVersion(), 1);
    UninstallLogReader tooLong(nullptr);
    ReadUninstallLog(tooLong, Utf16(u"// Uninstall Log File v1" + std::u16string(1022 / 2 - 24 - 1, u' ') + u"\n"));
    EXPECT_TRUE(tooLong.IsStopped());
}

TEST(UninstallLogFormat, EncodingEdges)
{
    // FF FE only counts at the very start; a short file is ANSI.
    Reader ansi;
    ReadUninstallLog(ansi, "\n\xFF\xFE// x\n");
    EXPECT_FALSE(ansi.IsUtf16());
    EXPECT_TRUE(ansi.IsStopped());  // "\xFF\xFE// x" is taken as a record line
    for (const std::string& tiny : {std::string(), std::string("\xFF"), std::string("\n"), std::string("\xFF\xFE")}) {
        Reader reader;
        ReadUninstallLog(reader, tiny);
        EXPECT_EQ(reader.GetLineCount(), tiny == "\xFF" ? 1 : 0);
    }
    // A zero byte ends the line's text.
    Reader zero;
    ReadUninstallLog(zero, Header() + std::string("0000:0100:1 -- C:\\a\0junk\r\n", 26));
    EXPECT_EQ(zero.GetRecords(), (std::vector<ULOG_LINE_RECORD>{Rec(LR_FILE, 0, true, "C:\\a")}));
}

}  // namespace
