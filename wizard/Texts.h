// Localised texts from the program's string tables, and the user's language as the system reports it.
#pragma once

#include <string>

// Text id from the string table of the language that owns its block (Languages.h), whatever the
// thread's language; converted with the system ANSI code page. "" when missing.
std::string LoadStringById(int id);
// The same text as stored (UTF-16); an id outside every language block is looked up in any language.
std::wstring LoadStringByIdW(int id);

// Id and text of base text baseId in a language, with the fallbacks of ResolveTextId.
int GetLanguageTextId(int language, int baseId);
std::string LoadLanguageText(int language, int baseId);

// Language index for the user's default language (GetUserDefaultLangID).
int GetDefaultLanguage();

// Display name of a language for the language list, in the system ANSI code page.
std::string GetLanguageName(int index);

// Message formatting from a string: %1 and %2 replaced by the arguments, CR LF kept; "" on failure.
std::string FormatMessageText(const std::string& format, const std::string& arg1, const std::string& arg2 = "");
