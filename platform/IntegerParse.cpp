#include "IntegerParse.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

int32_t ParseIntegerText(const char* text, bool* pbError, int base)
{
    if (!text)
        text = "";
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, base);
    bool overflow = errno == ERANGE;
    // long is 64-bit on some hosts: keep the 32-bit result and overflow rule of the target.
    if (value > INT32_MAX) {
        value = INT32_MAX;
        overflow = true;
    } else if (value < INT32_MIN) {
        value = INT32_MIN;
        overflow = true;
    }
    const bool consumed = end && end > text;
    const bool ok = !overflow && (value != 0 || (consumed && end[-1] == '0'));
    if (pbError) {
        if (ok) {
            const char* rest = end;
            while (std::isspace(static_cast<unsigned char>(*rest)))
                ++rest;
            *pbError = *rest != '\0';
        } else {
            *pbError = true;
        }
    }
    return static_cast<int32_t>(value);
}
