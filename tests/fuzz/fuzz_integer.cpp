// Fuzzes the integer conversion against a 64-bit reference, and the language and text-id lookups with the
// numbers it yields (a stored language index is read back through it).
#include "IntegerParse.h"
#include "Languages.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const int BASES[] = {0, 2, 8, 10, 16, 36, 10, 10};
    const int base = BASES[data[0] % 8];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);  // cut at any zero byte

    bool failed = false;
    const int32_t value = ParseIntegerText(text.c_str(), &failed, base);

    // Reference: strtoll, which is 64-bit everywhere.
    char* end = nullptr;
    errno = 0;
    const long long wide = std::strtoll(text.c_str(), &end, base);
    const bool overflow = errno == ERANGE || wide > INT32_MAX || wide < INT32_MIN;
    const long long clamped = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide;
    if (value != clamped)
        std::abort();
    const bool zeroRead = end > text.c_str() && end[-1] == '0';
    const char* rest = end;
    while (std::isspace(static_cast<unsigned char>(*rest)))
        ++rest;
    const bool expectedFailure = overflow || (wide == 0 && !zeroRead) || *rest != '\0';
    if (failed != expectedFailure)
        std::abort();
    bool ignored = false;
    if (ParseIntegerText(text.c_str(), nullptr, base) != value || ParseIntegerText(nullptr, &ignored, base) != 0 ||
        !ignored)
        std::abort();

    // Any number as a language index or a text id.
    const int index = value;
    const bool known = index >= 0 && index < LANGUAGE_COUNT;
    if (!known && (GetLanguageLangId(index) != 0 || GetLanguageTextBlock(index) != 0 ||
                   GetLanguageFlagIcon(index) != 0 || GetLanguageListPosition(index) != 0 ||
                   IsLanguageOffered(index) || HasInstallerTexts(index)))
        std::abort();
    const int owner = GetLanguageOfTextId(value);
    if (owner != -1 && (owner < 0 || owner >= LANGUAGE_COUNT || GetLanguageTextBlock(owner) != value / TEXT_BLOCK_SIZE))
        std::abort();
    GetDefaultLanguageFor(static_cast<unsigned>(value));
    const bool hashes = data[0] & 8;
    for (int offset : GetTextOffsets()) {
        const int id = ResolveTextId(index, TEXT_BASE + offset, [&](int) { return hashes; });
        const int language = GetLanguageOfTextId(id);
        if (id % TEXT_BLOCK_SIZE != offset || (language != LANGUAGE_FRENCH && language != LANGUAGE_ENGLISH &&
                                               (!known || language != index)))
            std::abort();
    }
    return 0;
}
