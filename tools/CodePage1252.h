// Windows code page 1252 (Western European), the ANSI code page of the archive's destination paths.
#pragma once

#include <string>

// Converts UTF-8 text to code page 1252. False, with a message naming the offending character or byte,
// when the text is not valid UTF-8 or holds a character the code page lacks.
bool Utf8ToCp1252(const std::string& utf8, std::string& out, std::string& error);

// Converts code page 1252 bytes to UTF-8; false when a byte is one of the five the code page leaves unassigned.
bool Cp1252ToUtf8(const std::string& ansi, std::string& out);

// Upper-cases one code page 1252 byte the way Windows compares file names (ASCII and Latin-1 letters).
unsigned char Cp1252ToUpper(unsigned char c);
