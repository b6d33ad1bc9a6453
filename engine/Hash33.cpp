#include "Hash33.h"

uint32_t Hash33Update(uint32_t value, const void* data, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    const auto* end = p + size;
    // Four bytes per step: v*33^4 + b0*33^3 + b1*33^2 + b2*33 + b3, all modulo 2^32.
    while (end - p >= 4) {
        value = value * 1185921u + p[0] * 35937u + p[1] * 1089u + p[2] * 33u + p[3];
        p += 4;
    }
    while (p != end)
        value = value * 33u + *p++;
    return value;
}
