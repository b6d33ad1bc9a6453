#include "Languages.h"

namespace {

struct LanguageRow {
    unsigned langId;
    int textBlock;
    int flagIcon;
    int listPosition;  // 0: not listed
    bool complete;
    unsigned defaultFor;  // primary language mapped to this index; 0: never a default
};

// Indexed by the language index; index, block and list order are three different orders.
constexpr LanguageRow LANGUAGES[LANGUAGE_COUNT] = {
    {0x040C, 1, 144, 1, true, 0x0C},    // French
    {0x0409, 2, 145, 2, true, 0x09},    // English
    {0x0407, 3, 141, 3, true, 0x07},    // German
    {0x0C0A, 4, 143, 4, true, 0x0A},    // Spanish
    {0x0816, 5, 148, 6, true, 0x16},    // Portuguese
    {0x0413, 7, 147, 7, false, 0x13},   // Dutch
    {0x0406, 8, 142, 0, false, 0},      // Danish
    {0x041F, 9, 149, 9, true, 0x1F},    // Turkish
    {0x0402, 11, 150, 0, false, 0},     // Bulgarian
    {0x0418, 12, 151, 10, true, 0x18},  // Romanian
    {0x0804, 10, 152, 11, false, 0x04}, // Chinese (Simplified), only for two sublanguages
    {0x0410, 6, 146, 5, true, 0x10},    // Italian
    {0x0405, 13, 153, 0, false, 0},     // Czech
    {0x0414, 14, 154, 0, false, 0},     // Norwegian
    {0x0408, 15, 155, 8, false, 0x08},  // Greek
    {0x0415, 16, 156, 0, false, 0},     // Polish
};

constexpr unsigned PRIMARY_CHINESE = 0x04;

const LanguageRow* Row(int index)
{
    return index >= 0 && index < LANGUAGE_COUNT ? &LANGUAGES[index] : nullptr;
}

}  // namespace

bool IsLanguageOffered(int index)
{
    const LanguageRow* row = Row(index);
    return row && row->listPosition != 0;
}

bool HasInstallerTexts(int index)
{
    const LanguageRow* row = Row(index);
    return row && row->complete;
}

unsigned GetLanguageLangId(int index)
{
    const LanguageRow* row = Row(index);
    return row ? row->langId : 0;
}

int GetLanguageTextBlock(int index)
{
    const LanguageRow* row = Row(index);
    return row ? row->textBlock : 0;
}

int GetLanguageFlagIcon(int index)
{
    const LanguageRow* row = Row(index);
    return row ? row->flagIcon : 0;
}

int GetLanguageListPosition(int index)
{
    const LanguageRow* row = Row(index);
    return row ? row->listPosition : 0;
}

std::vector<int> GetListedLanguages()
{
    std::vector<int> listed;
    for (int position = 1; position <= LANGUAGE_COUNT; ++position) {
        for (int i = 0; i < LANGUAGE_COUNT; ++i) {
            if (LANGUAGES[i].listPosition == position)
                listed.push_back(i);
        }
    }
    return listed;
}

int GetDefaultLanguageFor(unsigned langId)
{
    const unsigned primary = langId & 0x3FF;
    if (primary == PRIMARY_CHINESE) {
        // Simplified Chinese (PRC, Singapore) only; Taiwan, Hong Kong, Macao get English.
        const unsigned sub = langId & 0xFC00;
        return sub == 0x0800 || sub == 0x1000 ? 10 : LANGUAGE_ENGLISH;
    }
    for (int index = 0; index < LANGUAGE_COUNT; ++index)
        if (LANGUAGES[index].defaultFor != 0 && LANGUAGES[index].defaultFor == primary)
            return index;
    return LANGUAGE_ENGLISH;
}

int GetLanguageOfTextId(int id)
{
    if (id < 0)
        return -1;
    const int block = id / TEXT_BLOCK_SIZE;
    for (int index = 0; index < LANGUAGE_COUNT; ++index)
        if (LANGUAGES[index].textBlock == block)
            return index;
    return -1;
}

int ResolveTextId(int language, int baseId, const std::function<bool(int id)>& isUntranslated)
{
    if (!HasInstallerTexts(language))
        language = LANGUAGE_ENGLISH;
    if (language == LANGUAGE_FRENCH)
        return baseId;
    const int id = baseId + (GetLanguageTextBlock(language) - 1) * TEXT_BLOCK_SIZE;
    if (!isUntranslated(id))
        return id;
    if (language == LANGUAGE_ENGLISH)
        return baseId;
    const int englishId = baseId + TEXT_BLOCK_SIZE;
    return isUntranslated(englishId) ? baseId : englishId;
}

std::string ChooseLanguageName(const std::string& nativeInSystemCodePage,
                               const std::string& nativeInOwnCodePage, const std::string& userLanguageName)
{
    if (!nativeInSystemCodePage.empty() && nativeInSystemCodePage == nativeInOwnCodePage)
        return nativeInSystemCodePage;
    return userLanguageName;
}

std::vector<int> GetTextOffsets()
{
    std::vector<int> offsets;
    for (int o = 0; o <= 18; ++o)
        offsets.push_back(o);
    for (int o = 100; o <= 130; ++o)
        if (o != 109 && o != 128)
            offsets.push_back(o);
    return offsets;
}
