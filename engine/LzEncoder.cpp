#include "LzEncoder.h"

#include "LzFormat.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr unsigned MAX_HASH_BITS = 15;
constexpr unsigned MIN_HASH_BITS = 8;
constexpr uint32_t NONE = 0;  // chains store position + 1

inline uint32_t Load32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Common prefix length of a and b, at most limit bytes.
inline unsigned CommonPrefix(const unsigned char* a, const unsigned char* b, unsigned limit)
{
    unsigned n = 0;
    while (n + 8 <= limit) {
        const uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x != 0) {
            // The first differing byte, whatever the byte order: compare byte by byte from here.
            while (a[n] == b[n])
                ++n;
            return n;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// Exact longest-match finder over the 4096-byte window.
//
// Hash chains of 2, 3, 4, 5, 6, 8, 12, 16 and 24 bytes, each holding only positions s with s + k <= i
// (inserted lazily), so every chain member can give a match of at least k bytes without reading its own
// output. To beat the best length so far, a source must match need = best + 1 bytes, so it sits in the chain
// of the largest k <= need: walking that chain completely (no cut-offs) finds it, and longer k means far
// shorter chains.
class MatchFinder {
public:
    MatchFinder(const unsigned char* data, size_t size)
        : m_data(data), m_size(size)
    {
        // Small inputs get small tables: setting them up would cost more than encoding.
        unsigned bits = MIN_HASH_BITS;
        while (bits < MAX_HASH_BITS && (size_t(1) << bits) < size)
            ++bits;
        for (auto& level : m_levels) {
            level.shift = 64 - bits;
            level.head.assign(size_t(1) << bits, NONE);
            level.prev.assign(std::min(LZ_WINDOW_SIZE, size_t(1) << bits), NONE);
        }
        m_ringMask = std::min(LZ_WINDOW_SIZE, size_t(1) << bits) - 1;
        for (unsigned level = 0; level < LEVELS; ++level)
            m_levels[level].k = LEVEL_BYTES[level];
    }

    // Longest usable match at position i; positions must be visited in increasing order, one by one.
    void Find(size_t i, unsigned& length, unsigned& distance)
    {
        Insert(i);
        const unsigned cap = static_cast<unsigned>(std::min<size_t>(LZ_MAX_MATCH, m_size - i - 1));
        // The match of the previous position, one byte shorter, is still available here.
        unsigned best = 1, bestDistance = 0;
        if (m_previousLength >= 3) {
            best = m_previousLength - 1;
            bestDistance = m_previousDistance;
        }
        const size_t lowest = i >= LZ_WINDOW_SIZE ? i - LZ_WINDOW_SIZE : 0;
        const unsigned char* current = m_data + i;
        while (best < cap) {
            const unsigned need = best + 1;
            Level& level = m_levels[LevelFor(need)];
            bool raised = false;
            for (uint32_t entry = level.head[level.Hash(current)]; entry != NONE;) {
                const size_t s = entry - 1;
                if (s < lowest)
                    break;
                entry = level.prev[s & m_ringMask];
                if (i - s <= best || m_data[s + best] != current[best])
                    continue;
                const unsigned found =
                    CommonPrefix(m_data + s, current, static_cast<unsigned>(std::min<size_t>(cap, i - s)));
                if (found > best) {
                    best = found;
                    bestDistance = static_cast<unsigned>(i - s);
                    if (best >= cap || LevelFor(best + 1) != LevelFor(need)) {
                        raised = true;
                        break;
                    }
                }
            }
            if (!raised)
                break;
        }
        if (best < 2)
            best = 0, bestDistance = 0;
        length = best;
        distance = bestDistance;
        m_previousLength = best;
        m_previousDistance = bestDistance;
    }

private:
    struct Level {
        unsigned k = 0;
        unsigned shift = 0;
        std::vector<uint32_t> head;
        std::vector<uint32_t> prev;  // ring over the window (or the whole input), indexed by position

        uint32_t Hash(const unsigned char* p) const
        {
            constexpr uint64_t M1 = 0x9E3779B97F4A7C15ull, M2 = 0xC2B2AE3D27D4EB4Full;
            uint64_t v;
            switch (k) {
            case 2: v = uint64_t(p[0]) | uint64_t(p[1]) << 8; break;
            case 3: v = uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16; break;
            case 4: v = Load32(p); break;
            case 5: v = Load32(p) | uint64_t(p[4]) << 32; break;
            case 6: v = Load32(p) | uint64_t(p[4]) << 32 | uint64_t(p[5]) << 40; break;
            case 8: v = Load64(p); break;
            case 12: v = Load64(p) * M2 ^ Load32(p + 8); break;
            case 16: v = Load64(p) * M2 ^ Load64(p + 8); break;
            default: v = (Load64(p) * M2 ^ Load64(p + 8)) * M2 ^ Load64(p + 16); break;
            }
            return static_cast<uint32_t>((v * M1) >> shift);
        }
    };

    static constexpr unsigned LEVELS = 9;
    static constexpr unsigned LEVEL_BYTES[LEVELS] = {2, 3, 4, 5, 6, 8, 12, 16, 24};

    // The chain of the longest hashed prefix that a source matching need bytes must share.
    static unsigned LevelFor(unsigned need)
    {
        unsigned level = 0;
        while (level + 1 < LEVELS && LEVEL_BYTES[level + 1] <= need)
            ++level;
        return level;
    }

    // Positions become sources for k-byte matches once their k bytes lie before i.
    void Insert(size_t i)
    {
        for (auto& level : m_levels) {
            if (i < level.k)
                continue;
            const size_t j = i - level.k;
            uint32_t& head = level.head[level.Hash(m_data + j)];
            level.prev[j & m_ringMask] = head;
            head = static_cast<uint32_t>(j + 1);
        }
    }

    const unsigned char* m_data;
    size_t m_size;
    Level m_levels[LEVELS];
    size_t m_ringMask = LZ_WINDOW_MASK;
    unsigned m_previousLength = 0;
    unsigned m_previousDistance = 0;
};

class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : m_out(out) {}

    void Put(uint32_t value, unsigned count)
    {
        m_accumulator = (m_accumulator << count) | value;
        m_pending += count;
        while (m_pending >= 8) {
            m_pending -= 8;
            m_out.push_back(static_cast<unsigned char>(m_accumulator >> m_pending));
        }
    }

    void Flush()
    {
        if (m_pending > 0)
            m_out.push_back(static_cast<unsigned char>(m_accumulator << (8 - m_pending)));
        m_pending = 0;
    }

private:
    std::vector<unsigned char>& m_out;
    uint64_t m_accumulator = 0;
    unsigned m_pending = 0;
};

void CheckSize(size_t size)
{
    if (static_cast<uint64_t>(size) >= 0xFFFFFFFFull)
        throw std::length_error("LzEncode: input of 4 GiB or more");
}

}  // namespace

LzMatchTable LzFindMatches(const unsigned char* data, size_t size)
{
    CheckSize(size);
    LzMatchTable table;
    table.length.resize(size);
    table.distance.resize(size);
    MatchFinder finder(data, size);
    for (size_t i = 0; i < size; ++i) {
        unsigned length, distance;
        finder.Find(i, length, distance);
        table.length[i] = static_cast<uint8_t>(length);
        table.distance[i] = static_cast<uint16_t>(distance);
    }
    return table;
}

std::vector<unsigned char> LzEncode(const unsigned char* data, size_t size, LzEncodeStats* stats)
{
    CheckSize(size);
    // Forward shortest path: cost[j] = fewest bits that produce the first j bytes. For each end position j
    // keep the token that reaches it (match length, 0 for a literal, and distance).
    constexpr size_t RING = 64;  // > LZ_MAX_TOKEN_OUTPUT: the costs still reachable from position i
    constexpr uint64_t INF = ~uint64_t(0);
    uint64_t cost[RING];
    std::fill(cost, cost + RING, INF);
    cost[0] = 0;
    std::vector<uint8_t> tokenLength(size + 1);
    std::vector<uint16_t> tokenDistance(size + 1);
    MatchFinder finder(data, size);
    for (size_t i = 0; i < size; ++i) {
        const uint64_t here = cost[i % RING];
        cost[i % RING] = INF;
        uint64_t& next = cost[(i + 1) % RING];
        if (here + LZ_LITERAL_TOKEN_BITS < next) {
            next = here + LZ_LITERAL_TOKEN_BITS;
            tokenLength[i + 1] = 0;
        }
        unsigned longest, distance;
        finder.Find(i, longest, distance);
        const uint64_t viaMatch = here + LZ_MATCH_TOKEN_BITS;
        for (unsigned length = 2; length <= longest; ++length) {
            const size_t end = i + length + 1;
            uint64_t& target = cost[end % RING];
            if (viaMatch < target) {
                target = viaMatch;
                tokenLength[end] = static_cast<uint8_t>(length);
                tokenDistance[end] = static_cast<uint16_t>(distance);
            }
        }
    }

    // Walk back from the end to collect the token ends, then emit them front to back.
    std::vector<uint32_t> ends;
    for (size_t j = size; j > 0; j -= tokenLength[j] + 1u)
        ends.push_back(static_cast<uint32_t>(j));
    LzEncodeStats counted;
    std::vector<unsigned char> out;
    out.reserve(size / 2 + 16);
    BitWriter writer(out);
    for (auto it = ends.rbegin(); it != ends.rend(); ++it) {
        const size_t end = *it;
        const unsigned length = tokenLength[end];
        const size_t start = end - length - 1;
        if (length == 0) {
            writer.Put(0, 1);
            counted.bits += LZ_LITERAL_TOKEN_BITS;
            ++counted.literalTokens;
        } else {
            // Positions count from the first stream byte until the window has filled, then from the oldest.
            const size_t source = start - tokenDistance[end];
            const size_t position = start < LZ_WINDOW_SIZE ? source : source - (start - LZ_WINDOW_SIZE);
            writer.Put(1, 1);
            writer.Put(static_cast<uint32_t>(position), LZ_POSITION_BITS);
            writer.Put(length - 1, LZ_LENGTH_BITS);
            counted.bits += LZ_MATCH_TOKEN_BITS;
            ++counted.matchTokens;
        }
        writer.Put(data[end - 1], LZ_LITERAL_BITS);
    }
    writer.Flush();
    if (stats)
        *stats = counted;
    return out;
}
