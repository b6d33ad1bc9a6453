#include "Texts.h"

#include "Handles.h"
#include "Languages.h"
#include "WinApp.h"

#include <windows.h>

#include <vector>

namespace {

const LPCWSTR STRING_TABLE_TYPE = MAKEINTRESOURCEW(6);  // RT_STRING

// Entry of a string table: 16 strings per RT_STRING block, each a length word and that many UTF-16 units.
std::wstring FindInStringBlock(HMODULE module, int id, WORD langId, bool anyLanguage)
{
    const unsigned number = static_cast<unsigned>(id);
    LPCWSTR blockName = MAKEINTRESOURCEW(number / 16 + 1);
    HRSRC resource = anyLanguage ? FindResourceW(module, blockName, STRING_TABLE_TYPE)
                                 : FindResourceExW(module, STRING_TABLE_TYPE, blockName, langId);
    if (!resource)
        return std::wstring();
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const auto* data = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!data)
        return std::wstring();
    // Walk the block, never past its end, even when the resource is malformed.
    const size_t units = size / sizeof(WCHAR);
    size_t pos = 0;
    for (unsigned entry = 0; entry < number % 16; ++entry) {
        if (pos >= units)
            return std::wstring();
        pos += 1 + data[pos];
    }
    if (pos >= units)
        return std::wstring();
    const size_t length = data[pos];
    if (pos + 1 + length > units)
        return std::wstring();
    return std::wstring(data + pos + 1, length);
}

std::string ToCodePage(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    const int wide = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), wide, &result[0], size, nullptr, nullptr);
    return result;
}

// Locale text as UTF-16, the buffer sized by asking first.
std::wstring LocaleTextW(LCID locale, LCTYPE type)
{
    const int size = GetLocaleInfoW(locale, type, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(size), L'\0');
    if (GetLocaleInfoW(locale, type, &text[0], size) <= 0)
        return std::wstring();
    text.resize(text.size() - 1);  // the terminating null
    return text;
}

// Locale text in the system ANSI code page.
std::string LocaleTextA(LCID locale, LCTYPE type)
{
    type |= LOCALE_USE_CP_ACP;
    const int size = GetLocaleInfoA(locale, type, nullptr, 0);
    if (size <= 0)
        return std::string();
    std::string text(static_cast<size_t>(size), '\0');
    if (GetLocaleInfoA(locale, type, &text[0], size) <= 0)
        return std::string();
    text.resize(text.size() - 1);
    return text;
}

// Upper-cases exactly the first character, which may be a double-byte character of the ANSI code page.
std::string CapitaliseFirstA(std::string text)
{
    if (text.empty())
        return text;
    const DWORD length = IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text.size() > 1 ? 2 : 1;
    CharUpperBuffA(&text[0], length);
    return text;
}

std::wstring CapitaliseFirstW(std::wstring text)
{
    if (text.empty())
        return text;
    const DWORD length = IS_HIGH_SURROGATE(text[0]) && text.size() > 1 ? 2 : 1;
    CharUpperBuffW(&text[0], length);
    return text;
}

UINT LanguageCodePage(LCID locale)
{
    DWORD codePage = 0;
    // LOCALE_RETURN_NUMBER gives the value as a DWORD in place of text.
    if (GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) <= 0)
        return CP_ACP;
    return codePage != 0 ? codePage : CP_ACP;
}

}  // namespace

std::wstring LoadStringByIdW(int id)
{
    if (id < 0 || id > 0xFFFF)
        return std::wstring();
    const HMODULE module = AfxGetResourceHandle();
    const int language = GetLanguageOfTextId(id);
    if (language < 0)
        return FindInStringBlock(module, id, 0, true);
    return FindInStringBlock(module, id, static_cast<WORD>(GetLanguageLangId(language)), false);
}

std::string LoadStringById(int id)
{
    return ToCodePage(LoadStringByIdW(id), CP_ACP);
}

int GetLanguageTextId(int language, int baseId)
{
    return ResolveTextId(language, baseId, [](int id) { return LoadStringByIdW(id) == L"#"; });
}

std::string LoadLanguageText(int language, int baseId)
{
    return LoadStringById(GetLanguageTextId(language, baseId));
}

int GetDefaultLanguage()
{
    return GetDefaultLanguageFor(GetUserDefaultLangID());
}

std::string GetLanguageName(int index)
{
    const LCID locale = MAKELCID(GetLanguageLangId(index), SORT_DEFAULT);
    const std::string inSystemCodePage = CapitaliseFirstA(LocaleTextA(locale, LOCALE_SNATIVELANGNAME));
    const std::wstring native = LocaleTextW(locale, LOCALE_SNATIVELANGNAME);
    const std::string inOwnCodePage = ToCodePage(CapitaliseFirstW(native), LanguageCodePage(locale));
    const std::string inUserLanguage = CapitaliseFirstA(LocaleTextA(locale, LOCALE_SLANGUAGE));
    return ChooseLanguageName(inSystemCodePage, inOwnCodePage, inUserLanguage);
}

std::string FormatMessageText(const std::string& format, const std::string& arg1, const std::string& arg2)
{
    // Inserts up to %99 exist: every one beyond %2 reads an empty string rather than past the array.
    std::vector<DWORD_PTR> args(99, reinterpret_cast<DWORD_PTR>(""));
    args[0] = reinterpret_cast<DWORD_PTR>(arg1.c_str());
    args[1] = reinterpret_cast<DWORD_PTR>(arg2.c_str());
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        format.c_str(), 0, 0, reinterpret_cast<LPSTR>(&buffer), 0,
        reinterpret_cast<va_list*>(args.data()));
    LocalMemory owner(buffer);
    if (length == 0 || !buffer)
        return std::string();
    return std::string(buffer, length);
}
