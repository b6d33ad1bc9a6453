// Hash33: the checksum of the payload archive and of every file it carries.
// value = value * 33 + byte (mod 2^32) over the bytes in order; a final 0 becomes HASH33_ZERO_SUBSTITUTE,
// so that 0 can mean "no checksum" in the archive directory.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t HASH33_ZERO_SUBSTITUTE = 592952593u;  // 0x2357BD11

// Folds bytes into a running value; start with 0. The result does not depend on how the bytes are split.
uint32_t Hash33Update(uint32_t value, const void* data, size_t size);

// Turns a running value into the checksum (0 becomes HASH33_ZERO_SUBSTITUTE).
inline uint32_t Hash33Finish(uint32_t value) { return value != 0 ? value : HASH33_ZERO_SUBSTITUTE; }

// Checksum of one buffer.
inline uint32_t Hash33(const void* data, size_t size) { return Hash33Finish(Hash33Update(0, data, size)); }
