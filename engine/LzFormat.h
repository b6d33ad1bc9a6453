// Token format of the compressed section, a bit stream read most significant bit first:
//   1 bit match flag; when set, 12 bits match position and 5 bits (match length - 1); then an 8-bit literal.
// A token produces its match (1 to 32 bytes) followed by its literal: 1 to 33 bytes.
// The window is a ring of the 4096 most recent output bytes; a match position counts from the oldest byte
// the window holds (the first byte of the stream until the window has filled). A match reads the window as it
// stood before its token, so it never reads its own output.
#pragma once

#include <cstddef>

constexpr size_t LZ_WINDOW_SIZE = 4096;
constexpr size_t LZ_WINDOW_MASK = LZ_WINDOW_SIZE - 1;
constexpr unsigned LZ_POSITION_BITS = 12;
constexpr unsigned LZ_LENGTH_BITS = 5;
constexpr unsigned LZ_LITERAL_BITS = 8;
constexpr size_t LZ_MIN_MATCH = 1;
constexpr size_t LZ_MAX_MATCH = 32;
constexpr size_t LZ_MAX_TOKEN_OUTPUT = LZ_MAX_MATCH + 1;

// Token sizes in bits.
constexpr unsigned LZ_LITERAL_TOKEN_BITS = 1 + LZ_LITERAL_BITS;                                   // 9
constexpr unsigned LZ_MATCH_TOKEN_BITS = 1 + LZ_POSITION_BITS + LZ_LENGTH_BITS + LZ_LITERAL_BITS;  // 26
