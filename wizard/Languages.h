// The language table of the installer and the text-id rules that follow from it. Pure: no Windows calls.
#pragma once

#include <functional>
#include <string>
#include <vector>

constexpr int LANGUAGE_COUNT = 16;

// Language indexes (the value of m_nLanguage and of the stored QuLanguage).
constexpr int LANGUAGE_FRENCH = 0;
constexpr int LANGUAGE_ENGLISH = 1;

// Base ids: the French block. Callers ask for a text as TEXT_BASE + offset.
constexpr int TEXT_BASE = 1000;
constexpr int TEXT_BLOCK_SIZE = 1000;
// Offsets of the installer's texts: 0 to 18 and 100 to 130 but 109 and 128, in increasing order.
std::vector<int> GetTextOffsets();
// A text that a language does not translate is stored as this string.
constexpr const char* UNTRANSLATED_TEXT = "#";

// Column "In the list" of the language page.
bool IsLanguageOffered(int index);
// True when the installer's own texts are complete in that language.
bool HasInstallerTexts(int index);
// Windows language id (LANGID); 0 for an index outside 0..15.
unsigned GetLanguageLangId(int index);
// Text block number n (ids n*1000 + offset): French 1, English 2, ...; 0 for an unknown index.
int GetLanguageTextBlock(int index);
// Flag icon resource id; 0 for an unknown index.
int GetLanguageFlagIcon(int index);
// Position in the language list, 1 first; 0 when not listed.
int GetLanguageListPosition(int index);
// The listed languages in the order of their list positions.
std::vector<int> GetListedLanguages();

// Language index that a user language id maps to (primary language = langId & 0x3FF); English by default.
int GetDefaultLanguageFor(unsigned langId);

// Language index whose text block holds the id; -1 when no language owns it.
int GetLanguageOfTextId(int id);

// Id of text baseId in the given language, with the fallbacks: a language without complete texts speaks
// English; a "#" entry falls back to English, then to French; French itself never falls back.
// isUntranslated(id) is true when text id is exactly "#".
int ResolveTextId(int language, int baseId, const std::function<bool(int id)>& isUntranslated);

// The language list's display name: the native name when it shows unchanged in the system code page
// (nativeInSystemCodePage == nativeInOwnCodePage), else the name in the user's language.
std::string ChooseLanguageName(const std::string& nativeInSystemCodePage,
                               const std::string& nativeInOwnCodePage, const std::string& userLanguageName);
