#include "CodePage1252.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// Unicode of the bytes 0x80..0x9F; 0 marks the unassigned ones. Every other byte is its own code point.
constexpr uint16_t HIGH_CONTROL_RANGE[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
};

bool FromUnicode(uint32_t cp, unsigned char& byte)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        byte = static_cast<unsigned char>(cp);
        return true;
    }
    for (unsigned k = 0; k < 32; ++k) {
        if (HIGH_CONTROL_RANGE[k] != 0 && HIGH_CONTROL_RANGE[k] == cp) {
            byte = static_cast<unsigned char>(0x80 + k);
            return true;
        }
    }
    return false;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Invalid(const std::string& what, size_t offset)
{
    return "invalid UTF-8: " + what + " at offset " + std::to_string(offset);
}

}  // namespace

bool Utf8ToCp1252(const std::string& utf8, std::string& out, std::string& error)
{
    out.clear();
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        size_t length;
        if (lead < 0x80) {
            cp = lead, length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F, length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F, length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07, length = 4;
        } else {
            error = Invalid("byte 0x" + Hex(lead, 2), i);
            return false;
        }
        if (i + length > n) {
            error = Invalid("sequence cut short", i);
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                error = Invalid("byte 0x" + Hex(next, 2), i + k);
                return false;
            }
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
        if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            error = Invalid("bad sequence", i);
            return false;
        }
        unsigned char byte;
        if (!FromUnicode(cp, byte)) {
            error = "character U+" + Hex(cp, 4) + " is not in the Windows code page 1252";
            return false;
        }
        out += static_cast<char>(byte);
        i += length;
    }
    return true;
}

bool Cp1252ToUtf8(const std::string& ansi, std::string& out)
{
    out.clear();
    for (char c : ansi) {
        const auto byte = static_cast<unsigned char>(c);
        uint32_t cp = byte;
        if (byte >= 0x80 && byte < 0xA0) {
            cp = HIGH_CONTROL_RANGE[byte - 0x80];
            if (cp == 0)
                return false;
        }
        AppendUtf8(out, cp);
    }
    return true;
}

unsigned char Cp1252ToUpper(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return c;
    }
}
