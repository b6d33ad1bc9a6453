#include "Hash33.h"

uint32_t Hash33Update(uint32_t value, const void* data, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    const auto* end = p + size;
    // Eight bytes per step: v*33^8 + (b0*33^3 + b1*33^2 + b2*33 + b3)*33^4 + (b4*33^3 + ... + b7), all modulo
    // 2^32. The two four-byte sums do not depend on v, so only one multiply a step waits for the last.
    constexpr uint32_t P1 = 33u, P2 = 33u * 33u, P3 = 33u * 33u * 33u, P4 = P2 * P2;
    constexpr uint32_t P8 = P4 * P4;
    while (end - p >= 8) {
        const uint32_t high = p[0] * P3 + p[1] * P2 + p[2] * P1 + p[3];
        const uint32_t low = p[4] * P3 + p[5] * P2 + p[6] * P1 + p[7];
        value = value * P8 + high * P4 + low;
        p += 8;
    }
    while (p != end)
        value = value * 33u + *p++;
    return value;
}
