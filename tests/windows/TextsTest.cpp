// The string tables as the program carries them, the text lookup by id alone, message formatting and the
// language names from the system's locale data.
#include "Languages.h"
#include "Texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

bool ExpectTranslated(int language, int offset)
{
    switch (language) {
    case 0: case 1: return true;
    case 2: case 3: case 4: case 7: case 9: case 11: return offset != 130;
    case 5: case 6: case 12: case 13: return (offset >= 1 && offset <= 6) || offset == 8 || offset == 9;
    default: return false;
    }
}

int CountInsert(const std::wstring& text, const wchar_t* insert)
{
    int count = 0;
    for (size_t pos = text.find(insert); pos != std::wstring::npos; pos = text.find(insert, pos + 1))
        ++count;
    return count;
}

UINT AnsiCodePageOf(unsigned langId)
{
    DWORD codePage = 0;
    GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR));
    return codePage;
}

// Restores the thread locale on every path out.
class ThreadLocaleScope {
public:
    explicit ThreadLocaleScope(LCID locale) : m_previous(GetThreadLocale()) { SetThreadLocale(locale); }
    ~ThreadLocaleScope() { SetThreadLocale(m_previous); }

private:
    LCID m_previous;
};

}  // namespace

TEST(StringTables, EveryIdOfEveryBlockLoadsWithItsCoverage)
{
    const auto offsets = GetTextOffsets();
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        SCOPED_TRACE("language " + std::to_string(language));
        const int block = GetLanguageTextBlock(language) * 1000;
        for (int offset : offsets) {
            const std::wstring text = LoadStringByIdW(block + offset);
            const std::wstring english = LoadStringByIdW(2000 + offset);
            ASSERT_FALSE(text.empty()) << "id " << block + offset;
            if (!ExpectTranslated(language, offset)) {
                EXPECT_EQ(text, L"#") << "id " << block + offset;
                continue;
            }
            EXPECT_NE(text, L"#") << "id " << block + offset;
            EXPECT_EQ(CountInsert(text, L"%1"), CountInsert(english, L"%1")) << "id " << block + offset;
            EXPECT_EQ(CountInsert(text, L"%2"), CountInsert(english, L"%2")) << "id " << block + offset;
            EXPECT_EQ(CountInsert(text, L"%"), CountInsert(english, L"%")) << "id " << block + offset;
        }
        // The unused offsets exist nowhere.
        for (int offset : {19, 20, 109, 128})
            EXPECT_EQ(LoadStringByIdW(block + offset), L"") << "id " << block + offset;
    }
}

TEST(StringTables, EveryTextShowsInItsLanguagesOwnCodePage)
{
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        const UINT codePage = AnsiCodePageOf(GetLanguageLangId(language));
        ASSERT_NE(codePage, 0u) << "language " << language;
        const int block = GetLanguageTextBlock(language) * 1000;
        for (int offset : GetTextOffsets()) {
            const std::wstring text = LoadStringByIdW(block + offset);
            if (text == L"#")
                continue;
            BOOL usedDefault = FALSE;
            char bytes[512];
            const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                                 static_cast<int>(text.size()), bytes, sizeof bytes, nullptr,
                                                 &usedDefault);
            ASSERT_GT(size, 0) << "id " << block + offset;
            EXPECT_FALSE(usedDefault) << "id " << block + offset << " in code page " << codePage;
            wchar_t back[512];
            const int length = MultiByteToWideChar(codePage, 0, bytes, size, back, 512);
            EXPECT_EQ(std::wstring(back, static_cast<size_t>(length)), text) << "id " << block + offset;
        }
    }
}

TEST(LoadStringById, TakesTheLanguageOfTheBlockWhateverTheThreadLanguage)
{
    for (LCID locale : {0x0407u, 0x040Cu, 0x0408u, 0x0409u}) {
        ThreadLocaleScope scope(locale);
        EXPECT_EQ(LoadStringById(2006), "Next") << std::hex << locale;
        EXPECT_EQ(LoadStringById(3006), "Weiter") << std::hex << locale;
        EXPECT_EQ(LoadStringById(1006), "Suivant") << std::hex << locale;
        EXPECT_EQ(LoadStringById(15006), "#") << std::hex << locale;
    }
    EXPECT_EQ(LoadStringById(2110), "Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(LoadStringById(2115), "Copying File  %1...");
    // Missing: outside every block, in a gap of a block, past the last block.
    EXPECT_EQ(LoadStringById(2019), "");
    EXPECT_EQ(LoadStringById(999), "");
    EXPECT_EQ(LoadStringById(17000), "");
    EXPECT_EQ(LoadStringById(-1), "");
    EXPECT_EQ(LoadStringById(70000), "");
}

TEST(LoadStringById, ConvertsWithTheSystemCodePage)
{
    // The same UTF-16 text converted the way the A functions would.
    const std::wstring wide = LoadStringByIdW(2112);
    ASSERT_EQ(wide, L"Create a Shortcut in the following Menu\u00A0:");
    char expected[128];
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), expected,
                                         sizeof expected, nullptr, nullptr);
    EXPECT_EQ(LoadStringById(2112), std::string(expected, static_cast<size_t>(size)));
    if (GetACP() == 1252) {
        EXPECT_EQ(LoadStringById(1005), "Pr\xE9" "c\xE9" "dent");
        EXPECT_EQ(LoadStringById(2112), "Create a Shortcut in the following Menu\xA0:");
    }
}

TEST(GetLanguageTextId, FallbacksAcrossTheRealTables)
{
    // German has every text but 1130, which comes out English.
    EXPECT_EQ(GetLanguageTextId(2, 1130), 2130);
    EXPECT_EQ(LoadLanguageText(2, 1130), LoadStringById(2130));
    for (int offset : GetTextOffsets()) {
        if (offset == 130)
            continue;
        EXPECT_EQ(GetLanguageTextId(2, 1000 + offset), 3000 + offset) << offset;
    }
    // French never falls back; English is complete.
    EXPECT_EQ(GetLanguageTextId(0, 1130), 1130);
    EXPECT_EQ(GetLanguageTextId(1, 1130), 2130);
    EXPECT_EQ(LoadLanguageText(1, 1000), "Installer");
    EXPECT_EQ(LoadLanguageText(0, 1000), "Installeur");
    EXPECT_EQ(GetLanguageTextId(11, 1006), 6006);
    EXPECT_EQ(GetLanguageTextId(9, 1130), 2130);
    // Dutch has its own "Back", but speaks English as a whole; so do the languages without any text.
    EXPECT_EQ(LoadStringById(7005), "Vorige");
    EXPECT_EQ(LoadLanguageText(5, 1005), "Back");
    EXPECT_EQ(LoadLanguageText(10, 1000), "Installer");
    EXPECT_EQ(LoadLanguageText(15, 1130), LoadStringById(2130));
}

TEST(FormatMessageText, InsertsTheArgumentsAndKeepsLineBreaks)
{
    EXPECT_EQ(FormatMessageText("Update from '%1' to '%2'.", "Sarventa 5.10", "Sarventa 5.23i"),
              "Update from 'Sarventa 5.10' to 'Sarventa 5.23i'.");
    EXPECT_EQ(FormatMessageText("%2 before %1", "one", "two"), "two before one");
    EXPECT_EQ(FormatMessageText(LoadStringById(2110), ""), LoadStringById(2110));
    EXPECT_EQ(FormatMessageText("Copying File  %1...", "C:\\a b\\%1.txt"), "Copying File  C:\\a b\\%1.txt...");
    EXPECT_EQ(FormatMessageText("Folder : %1.", "C:\\x"), "Folder : C:\\x.");
    // An insert past the two arguments reads an empty string, never past the argument array.
    EXPECT_EQ(FormatMessageText("[%1|%3|%99]", "a", "b"), "[a||]");
    EXPECT_EQ(FormatMessageText("", "a"), "");
    // Every translated text with inserts formats to a text that carries both arguments.
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        if (!HasInstallerTexts(language))
            continue;
        for (int offset : GetTextOffsets()) {
            const std::string format = LoadLanguageText(language, 1000 + offset);
            const std::string text = FormatMessageText(format, "<ARG1>", "<ARG2>");
            const bool has1 = format.find("%1") != std::string::npos;
            const bool has2 = format.find("%2") != std::string::npos;
            EXPECT_EQ(text.find("<ARG1>") != std::string::npos, has1) << language << "/" << offset;
            EXPECT_EQ(text.find("<ARG2>") != std::string::npos, has2) << language << "/" << offset;
            EXPECT_EQ(text.find('%'), std::string::npos) << language << "/" << offset;
        }
    }
}

// The language names and the default language as this system's locale gives them. The Windows tests run
// this case under several Unix locales as well, which set Wine's user language and ANSI code page.
TEST(GetLanguageName, NamesForThisSystem)
{
    std::vector<std::string> names;
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        names.push_back(GetLanguageName(i));
        ASSERT_FALSE(names.back().empty()) << i;
    }
    const auto startsWith = [&](int index, const char* prefix) {
        return names[index].rfind(prefix, 0) == 0;
    };
    switch (GetACP()) {
    case 1252:
        if (GetUserDefaultLangID() != 0x0409)
            GTEST_SKIP() << "code page 1252 checked for an English user";
        EXPECT_EQ(GetDefaultLanguage(), 1);
        EXPECT_EQ(names[0], "Fran\xE7" "ais");
        EXPECT_EQ(names[1], "English");
        EXPECT_EQ(names[2], "Deutsch");
        EXPECT_EQ(names[3], "Espa\xF1" "ol");
        EXPECT_EQ(names[4], "Portugu\xEAs");
        EXPECT_EQ(names[5], "Nederlands");
        EXPECT_EQ(names[6], "Dansk");
        EXPECT_EQ(names[7], "T\xFCrk\xE7" "e");  // every letter exists in 1252 as well
        EXPECT_EQ(names[11], "Italiano");
        EXPECT_EQ(names[13], "Norsk bokm\xE5l");
        EXPECT_EQ(names[15], "Polski");
        // Native names that 1252 cannot show: the name in the user's language.
        EXPECT_TRUE(startsWith(8, "Bulgarian")) << names[8];
        EXPECT_TRUE(startsWith(9, "Romanian")) << names[9];
        EXPECT_TRUE(startsWith(10, "Chinese")) << names[10];
        EXPECT_TRUE(startsWith(12, "Czech")) << names[12];
        EXPECT_TRUE(startsWith(14, "Greek")) << names[14];
        break;
    case 1253:  // Greek: no c-cedilla, so French falls back; German shows
        EXPECT_EQ(GetDefaultLanguage(), 14);
        EXPECT_EQ(names[14], "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC");
        EXPECT_FALSE(startsWith(0, "Fran")) << names[0];
        EXPECT_EQ(names[2], "Deutsch");
        break;
    case 936:  // Simplified Chinese: the first character is double-byte and stays whole
        EXPECT_EQ(GetDefaultLanguage(), 10);
        EXPECT_TRUE(startsWith(10, "\xD6\xD0\xCE\xC4")) << names[10];
        EXPECT_EQ(names[1], "English");
        EXPECT_FALSE(startsWith(3, "Espa")) << names[3];
        break;
    case 1250:  // Czech: never a default language; Czech and Romanian names show, Spanish does not
        EXPECT_EQ(GetDefaultLanguage(), 1);
        EXPECT_EQ(names[12], "\xC8" "e\x9Atina");  // first letter upper-cased
        EXPECT_EQ(names[9], "Rom\xE2n\xE3");
        EXPECT_FALSE(startsWith(3, "Espa")) << names[3];
        break;
    default:
        GTEST_SKIP() << "no names recorded for code page " << GetACP();
    }
}
