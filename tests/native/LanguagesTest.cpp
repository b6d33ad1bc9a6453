// The language table, the text-id fallbacks, and the string tables in res/strings checked against the
// coverage each language must have.
#include "Languages.h"
#include "../../res/resource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

enum class Coverage { Complete, All_But_130, Words_Only, None };

Coverage ExpectedCoverage(int language)
{
    switch (language) {
    case 0: case 1: return Coverage::Complete;
    case 2: case 3: case 4: case 7: case 9: case 11: return Coverage::All_But_130;
    case 5: case 6: case 12: case 13: return Coverage::Words_Only;
    default: return Coverage::None;
    }
}

bool ExpectTranslated(Coverage coverage, int offset)
{
    switch (coverage) {
    case Coverage::Complete: return true;
    case Coverage::All_But_130: return offset != 130;
    case Coverage::Words_Only: return (offset >= 1 && offset <= 6) || offset == 8 || offset == 9;
    case Coverage::None: return false;
    }
    return false;
}

struct StringFile {
    unsigned langId = 0;
    std::map<int, std::string> texts;  // UTF-8
};

// Reads the STRINGTABLE entries of one resource script: `id, "text"` lines between BEGIN and END.
StringFile ParseStringFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    StringFile file;
    const std::regex language(R"(^\s*LANGUAGE\s+(0x[0-9A-Fa-f]+|\d+)\s*,\s*(0x[0-9A-Fa-f]+|\d+)\s*$)");
    const std::regex entry(R"(^\s*(\d+)\s*,?\s*\"(.*)\"\s*$)");
    std::string line;
    bool inTable = false;
    while (std::getline(content, line)) {
        std::smatch m;
        if (std::regex_match(line, m, language)) {
            const unsigned primary = std::stoul(m[1].str(), nullptr, 0);
            const unsigned sub = std::stoul(m[2].str(), nullptr, 0);
            file.langId = (sub << 10) | primary;
        } else if (line.find("BEGIN") != std::string::npos) {
            inTable = true;
        } else if (line.find("END") != std::string::npos) {
            inTable = false;
        } else if (inTable && std::regex_match(line, m, entry)) {
            std::string raw = m[2].str(), text;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size()) {
                    const char c = raw[++i];
                    text += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
                } else if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"') {
                    text += '"';
                    ++i;
                } else {
                    text += raw[i];
                }
            }
            const int id = std::stoi(m[1].str());
            EXPECT_EQ(file.texts.count(id), 0u) << path << ": id " << id << " twice";
            file.texts[id] = text;
        } else if (inTable && line.find_first_not_of(" \t\r") != std::string::npos) {
            ADD_FAILURE() << path << ": unreadable line: " << line;
        }
    }
    return file;
}

// All string files, by language index (found from the language id).
std::map<int, StringFile> LoadAllStringFiles()
{
    std::map<int, StringFile> byLanguage;
    for (const auto& item : std::filesystem::directory_iterator(std::string(QU_SOURCE_DIR) + "/res/strings")) {
        if (item.path().extension() != ".rc")
            continue;
        StringFile file = ParseStringFile(item.path());
        int language = -1;
        for (int i = 0; i < LANGUAGE_COUNT; ++i)
            if (GetLanguageLangId(i) == file.langId)
                language = i;
        EXPECT_GE(language, 0) << item.path() << ": language id " << file.langId << " not in the table";
        EXPECT_EQ(byLanguage.count(language), 0u) << item.path() << ": language stored twice";
        byLanguage[language] = std::move(file);
    }
    return byLanguage;
}

// The inserts of a text (%1, %2) in order of appearance; anything else after '%' is reported as "%?".
std::multiset<std::string> Inserts(const std::string& text)
{
    std::multiset<std::string> inserts;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const char after = i + 2 < text.size() ? text[i + 2] : '\0';
        // A digit after the insert or a '!' would change what the system formatting reads.
        if ((next == '1' || next == '2') && !(after >= '0' && after <= '9') && after != '!')
            inserts.insert(std::string("%") + next);
        else
            inserts.insert("%?");
    }
    return inserts;
}

const std::string NBSP = "\xC2\xA0";

}  // namespace

TEST(LanguageTable, ColumnsOfTheSixteenLanguages)
{
    const unsigned langIds[] = {0x040C, 0x0409, 0x0407, 0x0C0A, 0x0816, 0x0413, 0x0406, 0x041F,
                                0x0402, 0x0418, 0x0804, 0x0410, 0x0405, 0x0414, 0x0408, 0x0415};
    const int blocks[] = {1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 10, 6, 13, 14, 15, 16};
    const int flags[] = {144, 145, 141, 143, 148, 147, 142, 149, 150, 151, 152, 146, 153, 154, 155, 156};
    const int positions[] = {1, 2, 3, 4, 6, 7, 0, 9, 0, 10, 11, 5, 0, 0, 8, 0};
    const bool complete[] = {true, true, true, true, true, false, false, true,
                             false, true, false, true, false, false, false, false};
    std::set<int> seenBlocks, seenPositions;
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GetLanguageLangId(i), langIds[i]);
        EXPECT_EQ(GetLanguageTextBlock(i), blocks[i]);
        EXPECT_EQ(GetLanguageFlagIcon(i), flags[i]);
        EXPECT_EQ(GetLanguageListPosition(i), positions[i]);
        EXPECT_EQ(IsLanguageOffered(i), positions[i] != 0);
        EXPECT_EQ(HasInstallerTexts(i), complete[i]);
        EXPECT_EQ(GetLanguageOfTextId(blocks[i] * 1000 + 130), i);
        seenBlocks.insert(blocks[i]);
        if (positions[i])
            EXPECT_TRUE(seenPositions.insert(positions[i]).second);
    }
    EXPECT_EQ(seenBlocks.size(), 16u);
    // The flag icons as the resource script names them.
    EXPECT_EQ(GetLanguageFlagIcon(0), IDI_FLAG_FRENCH);
    EXPECT_EQ(GetLanguageFlagIcon(1), IDI_FLAG_ENGLISH);
    EXPECT_EQ(GetLanguageFlagIcon(2), IDI_FLAG_GERMAN);
    EXPECT_EQ(GetLanguageFlagIcon(3), IDI_FLAG_SPANISH);
    EXPECT_EQ(GetLanguageFlagIcon(4), IDI_FLAG_PORTUGUESE);
    EXPECT_EQ(GetLanguageFlagIcon(5), IDI_FLAG_DUTCH);
    EXPECT_EQ(GetLanguageFlagIcon(6), IDI_FLAG_DANISH);
    EXPECT_EQ(GetLanguageFlagIcon(7), IDI_FLAG_TURKISH);
    EXPECT_EQ(GetLanguageFlagIcon(8), IDI_FLAG_BULGARIAN);
    EXPECT_EQ(GetLanguageFlagIcon(9), IDI_FLAG_ROMANIAN);
    EXPECT_EQ(GetLanguageFlagIcon(10), IDI_FLAG_CHINESE);
    EXPECT_EQ(GetLanguageFlagIcon(11), IDI_FLAG_ITALIAN);
    EXPECT_EQ(GetLanguageFlagIcon(12), IDI_FLAG_CZECH);
    EXPECT_EQ(GetLanguageFlagIcon(13), IDI_FLAG_NORWEGIAN);
    EXPECT_EQ(GetLanguageFlagIcon(14), IDI_FLAG_GREEK);
    EXPECT_EQ(GetLanguageFlagIcon(15), IDI_FLAG_POLISH);
    EXPECT_EQ(seenPositions, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    // Outside the table: nothing offered, no texts, no ids; text ids outside every block have no owner.
    for (int i : {-1, 16, 1000}) {
        EXPECT_FALSE(IsLanguageOffered(i));
        EXPECT_FALSE(HasInstallerTexts(i));
        EXPECT_EQ(GetLanguageLangId(i), 0u);
        EXPECT_EQ(GetLanguageTextBlock(i), 0);
    }
    EXPECT_EQ(GetLanguageOfTextId(999), -1);
    EXPECT_EQ(GetLanguageOfTextId(17000), -1);
    EXPECT_EQ(GetLanguageOfTextId(61472), -1);
    EXPECT_EQ(GetLanguageOfTextId(-5), -1);
    // The list offers eleven languages, by position.
    EXPECT_EQ(GetListedLanguages(), (std::vector<int>{0, 1, 2, 3, 11, 4, 5, 14, 7, 9, 10}));
}

TEST(LanguageTable, DefaultLanguageFollowsThePrimaryLanguage)
{
    EXPECT_EQ(GetDefaultLanguageFor(0x040C), 0);  // French (France)
    EXPECT_EQ(GetDefaultLanguageFor(0x0C0C), 0);  // French (Canada)
    EXPECT_EQ(GetDefaultLanguageFor(0x0409), 1);
    EXPECT_EQ(GetDefaultLanguageFor(0x0809), 1);
    EXPECT_EQ(GetDefaultLanguageFor(0x0407), 2);
    EXPECT_EQ(GetDefaultLanguageFor(0x0807), 2);  // German (Switzerland)
    EXPECT_EQ(GetDefaultLanguageFor(0x040A), 3);  // Spanish, traditional sort
    EXPECT_EQ(GetDefaultLanguageFor(0x0416), 4);  // Portuguese (Brazil)
    EXPECT_EQ(GetDefaultLanguageFor(0x0413), 5);
    EXPECT_EQ(GetDefaultLanguageFor(0x041F), 7);
    EXPECT_EQ(GetDefaultLanguageFor(0x0418), 9);
    EXPECT_EQ(GetDefaultLanguageFor(0x0410), 11);
    EXPECT_EQ(GetDefaultLanguageFor(0x0408), 14);
    // Never a default: Danish, Bulgarian, Czech, Norwegian, Polish; nor an unknown language.
    for (unsigned langId : {0x0406u, 0x0402u, 0x0405u, 0x0414u, 0x0814u, 0x0415u, 0x0419u, 0x0411u, 0u})
        EXPECT_EQ(GetDefaultLanguageFor(langId), 1) << std::hex << langId;
    // Chinese: PRC and Singapore are Simplified; Taiwan, Hong Kong and Macao get English.
    EXPECT_EQ(GetDefaultLanguageFor(0x0804), 10);
    EXPECT_EQ(GetDefaultLanguageFor(0x1004), 10);
    EXPECT_EQ(GetDefaultLanguageFor(0x0404), 1);
    EXPECT_EQ(GetDefaultLanguageFor(0x0C04), 1);
    EXPECT_EQ(GetDefaultLanguageFor(0x1404), 1);
    // Only the low ten bits are the primary language.
    EXPECT_EQ(GetDefaultLanguageFor(0x0407 | 0x0400), 2);
}

TEST(LanguageTable, ResolveTextIdFallsBackToEnglishThenFrench)
{
    std::set<int> untranslated{3130, 4105, 2105};  // 4105 and its English text both "#"
    std::vector<int> asked;
    auto isUntranslated = [&](int id) {
        asked.push_back(id);
        return untranslated.count(id) != 0;
    };
    // French never looks anything up.
    EXPECT_EQ(ResolveTextId(0, 1130, isUntranslated), 1130);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(ResolveTextId(1, 1006, isUntranslated), 2006);
    EXPECT_EQ(ResolveTextId(2, 1006, isUntranslated), 3006);
    EXPECT_EQ(ResolveTextId(2, 1130, isUntranslated), 2130);
    EXPECT_EQ(ResolveTextId(11, 1018, isUntranslated), 6018);  // Italian is block 6
    EXPECT_EQ(ResolveTextId(9, 1000, isUntranslated), 12000);  // Romanian is block 12
    EXPECT_EQ(ResolveTextId(3, 1105, isUntranslated), 1105);   // Spanish and English "#": French
    EXPECT_EQ(ResolveTextId(1, 1105, isUntranslated), 1105);
    // Languages without complete texts speak English as a whole, even where their own text exists.
    for (int language : {5, 6, 8, 10, 12, 13, 14, 15}) {
        EXPECT_EQ(ResolveTextId(language, 1005, isUntranslated), 2005) << language;
        EXPECT_EQ(ResolveTextId(language, 1105, isUntranslated), 1105) << language;
    }
    // An index that cannot occur is treated as a language without texts, never as a block of its own.
    EXPECT_EQ(ResolveTextId(16, 1005, isUntranslated), 2005);
    EXPECT_EQ(ResolveTextId(-1, 1005, isUntranslated), 2005);
}

TEST(LanguageTable, LanguageNameRule)
{
    EXPECT_EQ(ChooseLanguageName("Deutsch", "Deutsch", "German"), "Deutsch");
    EXPECT_EQ(ChooseLanguageName("??????", "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC", "Greek"), "Greek");
    EXPECT_EQ(ChooseLanguageName("Romana", "Rom\xE2n\xE3", "Romanian"), "Romanian");
    // No locale data: the user-language name (possibly empty), never an empty native name.
    EXPECT_EQ(ChooseLanguageName("", "", "Klingon"), "Klingon");
}

TEST(StringTables, EveryLanguageHasExactlyItsCoverage)
{
    const auto files = LoadAllStringFiles();
    ASSERT_EQ(files.size(), 16u);
    const auto offsets = GetTextOffsets();
    const StringFile& english = files.at(1);
    for (const auto& [language, file] : files) {
        SCOPED_TRACE("language " + std::to_string(language));
        const int block = GetLanguageTextBlock(language) * 1000;
        std::set<int> expectedIds, actualIds;
        for (int offset : offsets)
            expectedIds.insert(block + offset);
        for (const auto& entry : file.texts)
            actualIds.insert(entry.first);
        EXPECT_EQ(actualIds, expectedIds);
        const Coverage coverage = ExpectedCoverage(language);
        for (int offset : offsets) {
            auto it = file.texts.find(block + offset);
            if (it == file.texts.end())
                continue;
            const std::string& text = it->second;
            if (!ExpectTranslated(coverage, offset)) {
                EXPECT_EQ(text, "#") << "id " << it->first;
                continue;
            }
            EXPECT_NE(text, "#") << "id " << it->first;
            EXPECT_FALSE(text.empty()) << "id " << it->first;
            EXPECT_EQ(Inserts(text), Inserts(english.texts.at(2000 + offset))) << "id " << it->first << ": " << text;
            // Line breaks only as CR LF pairs, where the English text has them.
            const bool englishBreaks = english.texts.at(2000 + offset).find("\r\n") != std::string::npos;
            EXPECT_EQ(text.find("\r\n") != std::string::npos, englishBreaks) << "id " << it->first;
            for (size_t i = 0; i < text.size(); ++i)
                if (text[i] == '\n')
                    EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "id " << it->first;
        }
    }
}

TEST(StringTables, EnglishAndFrenchTelltaleTexts)
{
    const auto files = LoadAllStringFiles();
    ASSERT_EQ(files.size(), 16u);
    const auto& en = files.at(1).texts;
    const auto& fr = files.at(0).texts;
    EXPECT_EQ(en.at(2000), "Installer");
    EXPECT_EQ(en.at(2014), "Select Installation Langage");
    EXPECT_EQ(en.at(2104), "Do you confirm Reinstallation ?");
    EXPECT_EQ(en.at(2110), "Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(en.at(2112), "Create a Shortcut in the following Menu" + NBSP + ":");
    EXPECT_EQ(en.at(2115), "Copying File  %1...");
    EXPECT_EQ(en.at(2123), "Installation Folder : %1.");
    EXPECT_EQ(en.at(2129), "'%1' will be installed in the selected Langage, but the Installer, still under "
                           "translation,  shall run in English.");
    EXPECT_EQ(en.at(2130), "This software version is not compatible with the current Windows version.");
    EXPECT_EQ(fr.at(1000), "Installeur");
    EXPECT_EQ(fr.at(1005), "Pr\xC3\xA9" "c\xC3\xA9" "dent");
    EXPECT_EQ(fr.at(1006), "Suivant");
}
