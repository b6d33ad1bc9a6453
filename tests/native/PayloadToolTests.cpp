// The manifest reader, the archive writer and the reader/verifier of mkpayload.
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "CodePage1252.h"
#include "LzEncoder.h"
#include "Manifest.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> ParseErrors(const std::string& text)
{
    std::vector<ManifestEntry> entries;
    std::vector<std::string> errors;
    ParseManifestText(text, "m.txt", entries, errors);
    return errors;
}

PayloadFile MakeFile(int32_t kind, Storage storage, const std::string& destination, const Bytes& data)
{
    PayloadFile file;
    file.entry.kind = kind;
    file.entry.storage = storage;
    file.entry.destination = destination;
    file.data = data;
    return file;
}

// An archive from a directory and the raw sections; edit lets a test damage the content stream first.
Bytes MakeArchive(const std::vector<DirectoryEntry>& entries, const Bytes& compressedFiles, const Bytes& stored,
                  void (*edit)(Bytes&) = nullptr)
{
    Bytes content = EncodeDirectory(entries);
    content.insert(content.end(), compressedFiles.begin(), compressedFiles.end());
    if (edit)
        edit(content);
    Bytes body = LzEncode(content);
    body.insert(body.end(), stored.begin(), stored.end());
    return SealArchive(body);
}

DirectoryEntry Entry(const std::string& path, const Bytes& data, bool compressed, int32_t kind = 0)
{
    DirectoryEntry entry;
    entry.path = path;
    entry.size = static_cast<uint32_t>(data.size());
    entry.checksum = Hash33(data.data(), data.size());
    entry.compressed = compressed;
    entry.kind = kind;
    return entry;
}

::testing::AssertionResult HasError(const ArchiveReport& report, const std::string& part)
{
    for (const std::string& e : report.errors)
        if (e.find(part) != std::string::npos)
            return ::testing::AssertionSuccess();
    std::string all;
    for (const std::string& e : report.errors)
        all += "\n  " + e;
    return ::testing::AssertionFailure() << "no error containing '" << part << "' among:" << all;
}

Bytes Reseal(Bytes archive)
{
    return SealArchive(Bytes(archive.begin() + 4, archive.end()));
}

const Bytes TEXT = ToBytes("alpha beta gamma alpha beta gamma alpha beta gamma delta");
const Bytes BINARY = {1, 2, 3, 250, 0, 0, 0, 7};

}  // namespace

TEST(CodePage1252, ConvertsBothWays)
{
    std::string out, error;
    ASSERT_TRUE(Utf8ToCp1252("A\xC3\xA9\xE2\x82\xAC\xC5\xA0\xC5\xB8", out, error));  // A e-acute euro S-caron Y-diaeresis
    EXPECT_EQ(out, "A\xE9\x80\x8A\x9F");
    std::string back;
    ASSERT_TRUE(Cp1252ToUtf8(out, back));
    EXPECT_EQ(back, "A\xC3\xA9\xE2\x82\xAC\xC5\xA0\xC5\xB8");
    EXPECT_FALSE(Cp1252ToUtf8("\x81", back));
    EXPECT_FALSE(Utf8ToCp1252("\xE6\x97\xA5", out, error));  // CJK
    EXPECT_NE(error.find("U+65E5"), std::string::npos);
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xC3", "\xC3\x28", "\xF5\x80\x80\x80", "\xE0\x80\xAF"})
        EXPECT_FALSE(Utf8ToCp1252(bad, out, error)) << bad;
    EXPECT_EQ(Cp1252ToUpper('a'), 'A');
    EXPECT_EQ(Cp1252ToUpper(0xE9), 0xC9);
    EXPECT_EQ(Cp1252ToUpper(0xF7), 0xF7);  // division sign
    EXPECT_EQ(Cp1252ToUpper(0x9A), 0x8A);
}

TEST(Manifest, ParsesEntries)
{
    const std::string text = "\xEF\xBB\xBF# comment\r\n\r\n"
                             "1\tcompress\t<InstallPath>\\Caf\xC3\xA9.exe\tbin/my program.exe\r\n"
                             "   \n"
                             "4\tstore\t<SamplePath>\\s.dat\tsamples/s.dat\n"
                             "3\tauto\t<CommonData>\\\xE2\x82\xAC.ini\tdata/e.ini\tsign";
    std::vector<ManifestEntry> entries;
    std::vector<std::string> errors;
    ASSERT_TRUE(ParseManifestText(text, "m.txt", entries, errors)) << (errors.empty() ? "" : errors[0]);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].storage, Storage::Compress);
    EXPECT_EQ(entries[0].destination, "<InstallPath>\\Caf\xE9.exe");
    EXPECT_EQ(entries[0].source, "bin/my program.exe");
    EXPECT_EQ(entries[0].line, 3u);
    EXPECT_EQ(entries[1].storage, Storage::Store);
    EXPECT_EQ(entries[2].storage, Storage::Auto);
    EXPECT_EQ(entries[2].destination, "<CommonData>\\\x80.ini");
    EXPECT_EQ(entries[2].line, 6u);
    EXPECT_FALSE(entries[0].sign);
    EXPECT_TRUE(entries[2].sign);
}

TEST(Manifest, EveryErrorNamesFileAndLine)
{
    const std::string good = "0\tstore\t<InstallPath>\\ok.txt\tok.txt\n# comment\n";
    const struct {
        std::string line;
        const char* message;
    } cases[] = {
        {"5\tstore\t<InstallPath>\\a\ta", "unknown kind"},
        {"x\tstore\t<InstallPath>\\a\ta", "unknown kind"},
        {"0\tpack\t<InstallPath>\\a\ta", "bad storage word"},
        {"0\tstore\t<InstallPath>\\a", "expected 4 TAB-separated fields"},
        {"0 store <InstallPath>\\a a", "expected 4 TAB-separated fields"},
        {"0\tstore\t<InstallPath>\\a\ta\tsigned", "unknown fifth field"},
        {"0\tstore\t<InstallPath>\\a\ta\tsign\tx", "expected 4 TAB-separated fields"},
        {"0\tstore\t<InstallPath>\\" + std::string(246, 'x') + "\ta", "bytes (at most 259)"},
        {"0\tstore\tC:\\x\ta", "must start with a placeholder"},
        {"0\tstore\t\ta", "must start with a placeholder"},
        {"0\tstore\t<InstallPath>\\..\\x\ta", "'..' component"},
        {"0\tstore\t<InstallPath>\\.\\x\ta", "'.' component"},
        {"0\tstore\t<InstallPath\\x\ta", "unterminated placeholder"},
        {"0\tstore\t<Foo>\\x\ta", "unknown placeholder <Foo>"},
        {"0\tstore\t<installpath>\\x\ta", "unknown placeholder"},
        {"0\tstore\t<InstallPath>\\\xE6\x97\xA5\ta", "not in the Windows code page 1252"},
        {"0\tstore\t<InstallPath>\\\xC3\x28\ta", "invalid UTF-8"},
        {"0\tstore\t<InstallPath>\\a\x01\ta", "control character"},
        {"0\tstore\t<InstallPath>/x\ta", "forward slash"},
        {"0\tstore\t<InstallPath>\\\\x\ta", "empty component"},
        {"0\tstore\t<InstallPath>\\x\\\ta", "empty component"},
        {"0\tstore\t<InstallPath>\ta", "followed by a backslash"},
        {"0\tstore\t<InstallPath>\\a?b\ta", "not allowed in a Windows file name"},
        {"0\tstore\t<InstallPath>\\OK.TXT\ta", "duplicate destination (same as line 1)"},
        {"0\tstore\t<InstallPath>\\x\t", "empty source"},
        {"0\tstore\t<InstallPath>\\x\tdir\\x", "backslash in the source"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> errors = ParseErrors(good + c.line + "\r\n");
        ASSERT_EQ(errors.size(), 1u) << c.line;
        EXPECT_EQ(errors[0].rfind("m.txt:3: ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(c.message), std::string::npos) << errors[0];
    }
    // Case folding covers Latin-1 letters too; the longest allowed destination has 259 bytes.
    EXPECT_EQ(ParseErrors("0\tstore\t<Desktop>\\\xC3\xA9\ta\n0\tstore\t<Desktop>\\\xC3\x89\tb\n").size(), 1u);
    EXPECT_TRUE(ParseErrors("0\tstore\t<InstallPath>\\" + std::string(245, 'x') + "\ta\n").empty());
    // Several bad lines: each is reported.
    EXPECT_EQ(ParseErrors("9\tstore\t<Desktop>\\a\ta\n0\tx\t<Desktop>\\b\tb\n").size(), 2u);
}

// Names Windows would shorten (so two entries become one file) or open as a device.
TEST(Manifest, RefusesNamesWindowsCannotKeep)
{
    const struct {
        const char* destination;
        const char* message;
    } refused[] = {
        {"a.txt.", "'a.txt.' in the destination ends in a dot"},
        {"...", "ends in a dot"},
        {"sub.\\NUL.txt", "'sub.' in the destination ends in a dot"},
        {"A.TXT ", "'A.TXT ' in the destination ends in a blank"},
        {" \\x", "ends in a blank"},
        {"CON", "'CON' in the destination is a device name"},
        {"dir\\nul.txt", "'nul.txt' in the destination is a device name"},
        {"Prn\\x", "device name"},
        {"aux.tar.gz", "device name"},
        {"aux .log", "device name"},
        {"Com1.log", "device name"},
        {"lpt9", "device name"},
        {"COM\xC2\xB9", "'COM\xC2\xB9' in the destination is a device name"},  // superscript one
        {"lpt\xC2\xB2.txt", "device name"},
        {"LPT\xC2\xB3", "device name"},
    };
    for (const auto& c : refused) {
        const std::vector<std::string> errors =
            ParseErrors(std::string("0\tstore\t<InstallPath>\\") + c.destination + "\ta\n");
        ASSERT_EQ(errors.size(), 1u) << c.destination;
        EXPECT_EQ(errors[0].rfind("m.txt:1: ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(c.message), std::string::npos) << errors[0];
    }
    for (const char* kept : {"a.txt.bak", "CONSOLE.txt", "nul1.txt", "COM10", "COM0", "LPT0.txt", "COM", ".hidden",
                             "a b.txt", "xcon", "con_\\x", "LPT\xC2\xB0", "COM\xC2\xB4.txt"})
        EXPECT_TRUE(ParseErrors(std::string("0\tstore\t<InstallPath>\\") + kept + "\ta\n").empty()) << kept;
}

TEST(Manifest, LoadReadsSourcesRelativeToTheManifest)
{
    const auto dir = ScratchDir("ManifestLoad");
    WriteFileBytes(dir / "sub" / "a file.txt", TEXT);
    WriteFileBytes(dir / "m.txt", ToBytes("0\tauto\t<InstallPath>\\a.txt\tsub/a file.txt\n"
                                          "0\tauto\t<InstallPath>\\b.txt\tsub/missing.txt\n"));
    std::vector<PayloadFile> files;
    std::vector<std::string> errors;
    EXPECT_FALSE(LoadManifest(dir / "m.txt", files, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("m.txt:2: missing source 'sub/missing.txt'"), std::string::npos) << errors[0];
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].data, TEXT);
    errors.clear();
    EXPECT_FALSE(LoadManifest(dir / "none.txt", files, errors));
    EXPECT_EQ(errors.size(), 1u);
}

TEST(Manifest, SignedSourcesComeFromTheSignedFolder)
{
    const auto dir = ScratchDir("ManifestSigned");
    WriteFileBytes(dir / "bin" / "p.exe", ToBytes("plain"));
    WriteFileBytes(dir / "signed" / "bin" / "p.exe", ToBytes("signed"));
    WriteFileBytes(dir / "m.txt", ToBytes("1\tauto\t<InstallPath>\\p.exe\tbin/p.exe\tsign\n"
                                          "0\tauto\t<InstallPath>\\q.exe\tbin/p.exe\n"));
    const struct {
        std::filesystem::path signedFolder;
        const char* first;
    } cases[] = {{{}, "plain"}, {dir / "signed", "signed"}};
    for (const auto& c : cases) {
        std::vector<PayloadFile> files;
        std::vector<std::string> errors;
        ASSERT_TRUE(LoadManifest(dir / "m.txt", files, errors, c.signedFolder));
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[0].data, ToBytes(c.first));
        EXPECT_EQ(files[1].data, ToBytes("plain"));
    }
    std::vector<PayloadFile> files;
    std::vector<std::string> errors;
    EXPECT_FALSE(LoadManifest(dir / "m.txt", files, errors, dir / "none"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("m.txt:1: missing signed copy"), std::string::npos) << errors[0];
    WriteFileBytes(dir / "out.txt", ToBytes("0\tauto\t<InstallPath>\\a\t../x/p.exe\tsign\n"
                                            "0\tauto\t<InstallPath>\\b\t/x/p.exe\tsign\n"));
    errors.clear();
    EXPECT_FALSE(LoadManifest(dir / "out.txt", files, errors));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[1].find("out.txt:2: a source marked 'sign' must lie inside"), std::string::npos) << errors[1];
}

TEST(ArchiveWriter, OrdersEntriesAndRoundTrips)
{
    std::mt19937 rng(1);
    const Bytes noise = RandomBytes(rng, 3000);
    const std::vector<PayloadFile> files = {
        MakeFile(0, Storage::Store, "<InstallPath>\\stored1", BINARY),
        MakeFile(1, Storage::Compress, "<InstallPath>\\main.exe", TEXT),
        MakeFile(3, Storage::Compress, "<CommonData>\\empty", {}),  // zero length: always stored
        MakeFile(0, Storage::Auto, "<InstallPath>\\noise", noise),  // does not shrink: stored
        MakeFile(4, Storage::Auto, "<SamplePath>\\text", TEXT),     // shrinks: compressed
    };
    Bytes archive;
    std::string error;
    ArchiveBuildStats stats;
    ASSERT_TRUE(BuildArchive(files, archive, error, &stats)) << error;
    EXPECT_EQ(stats.compressedEntries, 2u);
    Bytes again;
    ASSERT_TRUE(BuildArchive(files, again, error));
    EXPECT_EQ(again, archive);

    const ArchiveReport report = ReadArchive(archive);
    ASSERT_TRUE(report.Valid()) << report.errors[0];
    EXPECT_TRUE(report.warnings.empty());
    const char* order[] = {"<InstallPath>\\main.exe", "<SamplePath>\\text", "<InstallPath>\\stored1",
                           "<CommonData>\\empty", "<InstallPath>\\noise"};
    const bool compressed[] = {true, true, false, false, false};
    ASSERT_EQ(report.entries.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(report.entries[i].path, order[i]);
        EXPECT_EQ(report.entries[i].compressed, compressed[i]);
    }
    EXPECT_EQ(report.entries[0].kind, 1);
    EXPECT_EQ(report.entries[3].checksum, HASH33_ZERO_SUBSTITUTE);
    EXPECT_EQ(report.files[4], noise);
    EXPECT_EQ(report.files[1], TEXT);
    EXPECT_EQ(ReadLE32(archive.data()), Hash33(archive.data() + 4, archive.size() - 4));
}

TEST(ArchiveWriter, FailedWriteLeavesNothing)
{
    const auto dir = ScratchDir("WriterFailure");
    std::string error;
    EXPECT_FALSE(WriteFileReplacing(dir / "no such folder" / "out.bin", TEXT, error));
    EXPECT_FALSE(std::filesystem::exists(dir / "no such folder"));
    // The target is a folder: the rename fails and the temporary file goes away.
    std::filesystem::create_directories(dir / "taken" / "inside");
    EXPECT_FALSE(WriteFileReplacing(dir / "taken", TEXT, error));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
    EXPECT_TRUE(WriteFileReplacing(dir / "ok.bin", TEXT, error));
    EXPECT_EQ(ReadFileBytes(dir / "ok.bin"), TEXT);
}

TEST(ArchiveReader, RejectsEveryViolation)
{
    const Bytes valid = MakeArchive({Entry("<InstallPath>\\a", TEXT, true), Entry("<InstallPath>\\b", BINARY, false)},
                                    TEXT, BINARY);
    ASSERT_TRUE(ReadArchive(valid).Valid());

    for (size_t n = 0; n < 4; ++n)
        EXPECT_TRUE(HasError(ReadArchive(Bytes(valid.begin(), valid.begin() + n)), "shorter than 4 bytes"));

    Bytes flipped = valid;
    flipped.back() ^= 1;
    EXPECT_TRUE(HasError(ReadArchive(flipped), "bad archive checksum"));
    EXPECT_TRUE(HasError(ReadArchive(flipped), "checksum mismatch"));  // the stored file changed too

    EXPECT_TRUE(HasError(ReadArchive(Reseal(Bytes(valid.begin(), valid.begin() + 40))), "truncated token"));
    EXPECT_TRUE(HasError(ReadArchive(SealArchive({})), "truncated token"));

    TokenWriter outside;
    outside.Match(0, 4, 0);
    EXPECT_TRUE(HasError(ReadArchive(SealArchive(outside.Data())), "reference outside the window"));

    for (uint32_t d : {0u, 3u, 5u, 4u + 273u * 2000000u}) {
        Bytes content(4);
        WriteLE32(content.data(), d);
        EXPECT_TRUE(HasError(ReadArchive(SealArchive(LzEncode(content))), "invalid directory size")) << d;
    }

    EXPECT_TRUE(HasError(ReadArchive(MakeArchive({Entry("<X>\\s", BINARY, false), Entry("<X>\\c", TEXT, true)},
                                                 TEXT, BINARY)),
                         "compressed entry after a stored one"));

    EXPECT_TRUE(HasError(ReadArchive(MakeArchive({Entry("<X>\\a", TEXT, true)}, TEXT, {},
                                                 [](Bytes& c) { std::fill(c.begin() + 12, c.begin() + 272, 'p'); })),
                         "path without terminating zero"));

    for (int32_t kind : {5, -1})
        EXPECT_TRUE(HasError(ReadArchive(MakeArchive({Entry("<X>\\a", TEXT, true, kind)}, TEXT, {})),
                             "unknown kind " + std::to_string(kind)));

    EXPECT_TRUE(HasError(ReadArchive(Reseal(Bytes(valid.begin(), valid.end() - 1))), "stored section truncated"));
    Bytes longer = valid;
    longer.push_back(0);
    longer.push_back(0);
    EXPECT_TRUE(HasError(ReadArchive(Reseal(longer)), "2 trailing bytes after the stored section"));

    DirectoryEntry wrongSum = Entry("<X>\\a", TEXT, true);
    wrongSum.checksum ^= 0x100;
    EXPECT_TRUE(HasError(ReadArchive(MakeArchive({wrongSum}, TEXT, {})), "file checksum mismatch"));

    // A zero-length compressed entry after the compressed bytes, with stored bytes following.
    EXPECT_TRUE(HasError(ReadArchive(MakeArchive({Entry("<X>\\a", TEXT, true), Entry("<X>\\e", {}, true),
                                                  Entry("<X>\\b", BINARY, false)},
                                                 TEXT, BINARY)),
                         "zero-length entry flagged compressed"));

    // The last token produces a byte more than the compressed entries hold.
    const Bytes overshoot = MakeArchive({Entry("<X>\\a", TEXT, true)}, TEXT, {}, [](Bytes& c) { c.push_back('!'); });
    EXPECT_TRUE(HasError(ReadArchive(overshoot), "beyond the compressed content"));
}

// Archives not made from a manifest may carry names Windows shortens or opens as devices.
TEST(ArchiveReader, ReportsNamesWindowsCannotKeep)
{
    const struct {
        const char* path;
        const char* message;
    } cases[] = {
        {"<InstallPath>\\a.txt.", "(<InstallPath>\\a.txt.): 'a.txt.' ends in a dot"},
        {"<InstallPath>\\A.TXT ", "'A.TXT ' ends in a blank"},
        {"<InstallPath>\\ \\x", "' ' ends in a blank"},
        {"<InstallPath>\\sub.\\x", "'sub.' ends in a dot"},
        {"<InstallPath>\\CON", "'CON' is a device name"},
        {"<InstallPath>\\sub\\nul.txt", "'nul.txt' is a device name"},
        {"<InstallPath>\\com\xB3.log", "is a device name"},
    };
    for (const auto& c : cases) {
        const ArchiveReport report =
            ReadArchive(MakeArchive({Entry("<InstallPath>\\a.txt", TEXT, true), Entry(c.path, BINARY, false)},
                                    TEXT, BINARY));
        EXPECT_EQ(report.errors.size(), 1u) << c.path;
        EXPECT_TRUE(HasError(report, "entry 2 ")) << c.path;
        EXPECT_TRUE(HasError(report, c.message)) << c.path;
    }
    EXPECT_TRUE(ReadArchive(MakeArchive({Entry("<InstallPath>\\a.txt.bak", TEXT, true),
                                         Entry("<InstallPath>\\COM0\\.hidden", BINARY, false)},
                                        TEXT, BINARY))
                    .Valid());
}

TEST(ArchiveReader, NonzeroPaddingIsAWarning)
{
    // The directory alone (4 bytes, no entries): 36 bits, so 4 padding bits.
    TokenWriter w;
    for (unsigned char b : {4, 0, 0, 0})
        w.Literal(b);
    Bytes body = w.Data();
    ASSERT_EQ(body.size(), 5u);
    EXPECT_TRUE(ReadArchive(SealArchive(body)).warnings.empty());
    body.back() |= 0x05;
    const ArchiveReport report = ReadArchive(SealArchive(body));
    EXPECT_TRUE(report.Valid());
    EXPECT_EQ(report.warnings.size(), 1u);
}

TEST(ArchiveReader, ExtractionPathsStayInside)
{
    std::string relative, error;
    ASSERT_TRUE(ExtractionPath("<InstallPath>\\Lang\\x.dll", relative, error));
    EXPECT_EQ(relative, "<InstallPath>/Lang/x.dll");
    ASSERT_TRUE(ExtractionPath("<Desktop>\\Caf\xE9", relative, error));
    EXPECT_EQ(relative, "<Desktop>/Caf\xC3\xA9");
    for (const char* bad : {"", "\\x", "<X>\\..\\y", "<X>\\.\\y", "..", "<X>\\a/../../b", "C:\\x", "<X>\\\x81",
                            "<X>\\a\\"})
        EXPECT_FALSE(ExtractionPath(bad, relative, error)) << bad;
}
