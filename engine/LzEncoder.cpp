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

inline unsigned CountTrailingZeros(uint64_t v)  // v != 0
{
#if defined(__GNUC__) || defined(__clang__)
    return static_cast<unsigned>(__builtin_ctzll(v));
#else
    unsigned n = 0;
    while ((v & 1) == 0)
        v >>= 1, ++n;
    return n;
#endif
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
// output. To beat the best length so far, a source s must match need = best + 1 bytes, so s + need - k sits
// in the chain of the largest k <= need for the k bytes that end at need: walking that chain completely (no
// cut-offs) finds it, and longer k means far shorter chains. Those last bytes include the one that ended the
// match carried from the previous position, which few sources share; the chain of the first k bytes held
// some nine times as many sources that fail there (PE files).
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
            // Any source matching need bytes holds the chain's k bytes at need - k: walking the chain of that
            // suffix (ending at the byte that stopped the previous match) meets far fewer other sources.
            const size_t offset = need - level.k;
            const size_t lowestEntry = lowest + offset;
            bool raised = false;
            for (uint32_t entry = level.head[level.Hash(current + offset)]; entry != NONE;) {
                const size_t p = entry - 1;
                if (p < lowestEntry)
                    break;
                entry = level.prev[p & m_ringMask];
                const size_t s = p - offset;
                if (m_data[s] != current[0] || m_data[s + best] != current[best])
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
            switch (k) {
            case 2: return HashOf<2>(p, shift);
            case 3: return HashOf<3>(p, shift);
            case 4: return HashOf<4>(p, shift);
            case 5: return HashOf<5>(p, shift);
            case 6: return HashOf<6>(p, shift);
            case 8: return HashOf<8>(p, shift);
            case 12: return HashOf<12>(p, shift);
            case 16: return HashOf<16>(p, shift);
            default: return HashOf<24>(p, shift);
            }
        }
    };

    // The hash of the first K bytes at p. Any function of those bytes alone gives the same matches: a chain
    // holds every source whose K bytes agree, and what else it holds is checked byte by byte.
    template <unsigned K>
    static uint32_t HashOf(const unsigned char* p, unsigned shift)
    {
        constexpr uint64_t M1 = 0x9E3779B97F4A7C15ull, M2 = 0xC2B2AE3D27D4EB4Full;
        uint64_t v;
        if constexpr (K == 2)
            v = uint64_t(p[0]) | uint64_t(p[1]) << 8;
        else if constexpr (K == 3)
            v = uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16;
        else if constexpr (K == 4)
            v = Load32(p);
        else if constexpr (K == 5)
            v = Load32(p) | uint64_t(p[4]) << 32;
        else if constexpr (K == 6)
            v = Load32(p) | uint64_t(p[4]) << 32 | uint64_t(p[5]) << 40;
        else if constexpr (K == 8)
            v = Load64(p);
        else if constexpr (K == 12)
            v = Load64(p) * M2 ^ Load32(p + 8);
        else if constexpr (K == 16)
            v = Load64(p) * M2 ^ Load64(p + 8);
        else
            v = (Load64(p) * M2 ^ Load64(p + 8)) * M2 ^ Load64(p + 16);
        return static_cast<uint32_t>((v * M1) >> shift);
    }

    // Inserts position i - K of level L (K = LEVEL_BYTES[L]).
    template <unsigned L>
    void InsertLevel(size_t i)
    {
        constexpr unsigned K = LEVEL_BYTES[L];
        if (i < K)
            return;
        Level& level = m_levels[L];
        const size_t j = i - K;
        uint32_t& head = level.head[HashOf<K>(m_data + j, level.shift)];
        level.prev[j & m_ringMask] = head;
        head = static_cast<uint32_t>(j + 1);
    }

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
        InsertLevel<0>(i), InsertLevel<1>(i), InsertLevel<2>(i), InsertLevel<3>(i), InsertLevel<4>(i);
        InsertLevel<5>(i), InsertLevel<6>(i), InsertLevel<7>(i), InsertLevel<8>(i);
        static_assert(LEVELS == 9, "one InsertLevel per level");
    }

    const unsigned char* m_data;
    size_t m_size;
    Level m_levels[LEVELS];
    size_t m_ringMask = LZ_WINDOW_MASK;
    unsigned m_previousLength = 0;
    unsigned m_previousDistance = 0;
};

// Writes into a buffer sized beforehand for the bits to come (most significant bit first).
class BitWriter {
public:
    explicit BitWriter(unsigned char* out) : m_out(out) {}

    void Put(uint32_t value, unsigned count)
    {
        m_accumulator = (m_accumulator << count) | value;
        m_pending += count;
        while (m_pending >= 8) {
            m_pending -= 8;
            *m_out++ = static_cast<unsigned char>(m_accumulator >> m_pending);
        }
    }

    void Flush()
    {
        if (m_pending > 0)
            *m_out++ = static_cast<unsigned char>(m_accumulator << (8 - m_pending));
        m_pending = 0;
    }

private:
    unsigned char* m_out;
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
    LzFindMatchesRange(data, size, 0, size, table.length.data(), table.distance.data());
    return table;
}

// The finder's result at a position depends on the window's bytes, and on its own result one position
// earlier only through the match it carries over (one byte shorter): a carried match is kept when nothing
// longer exists, otherwise the newest source of the longest match wins, as on a fresh start. Carried runs
// shorten by one byte a position, so they end within LZ_MAX_MATCH positions. A finder started a window and
// such a run before begin therefore gives exactly the results of a finder that started at 0.
void LzFindMatchesRange(const unsigned char* data, size_t size, size_t begin, size_t end, uint8_t* length,
                        uint16_t* distance)
{
    CheckSize(size);
    constexpr size_t LEAD = LZ_WINDOW_SIZE + 4 * LZ_MAX_MATCH;
    MatchFinder finder(data, size);
    for (size_t i = begin > LEAD ? begin - LEAD : 0; i < end; ++i) {
        unsigned found, from;
        finder.Find(i, found, from);
        if (i >= begin) {
            length[i - begin] = static_cast<uint8_t>(found);
            distance[i - begin] = static_cast<uint16_t>(from);
        }
    }
}

// Forward shortest path: cost[j] = fewest bits that produce the first j bytes. For each end position j keep
// the token that reaches it (match length, 0 for a literal, and distance).
struct LzParser::State {
    static constexpr size_t RING = 64;  // > LZ_MAX_TOKEN_OUTPUT: the costs still reachable from position i
    static constexpr uint64_t INF = ~uint64_t(0);
    uint64_t cost[RING];
    // Left uninitialised (no pass over 3 bytes per input byte): every end 1..size gets its token before the
    // walk back reads it, since a literal always reaches it unless a cheaper match already did.
    std::unique_ptr<uint8_t[]> tokenLength;
    std::unique_ptr<uint16_t[]> tokenDistance;
    size_t next = 0;  // the next position to take

    explicit State(size_t size) : tokenLength(new uint8_t[size + 1]), tokenDistance(new uint16_t[size + 1])
    {
        std::fill(cost, cost + RING, INF);
        cost[0] = 0;
    }

    // Position i with its longest match.
    void Step(size_t i, unsigned longest, unsigned distance)
    {
        const uint64_t here = cost[i % RING];
        cost[i % RING] = INF;
        uint64_t& following = cost[(i + 1) % RING];
        if (here + LZ_LITERAL_TOKEN_BITS < following) {
            following = here + LZ_LITERAL_TOKEN_BITS;
            tokenLength[i + 1] = 0;
        }
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
};

LzParser::LzParser(const unsigned char* data, size_t size) : m_data(data), m_size(size)
{
    CheckSize(size);
    m_state.reset(new State(size));
}

LzParser::~LzParser() = default;

void LzParser::Add(const uint8_t* length, const uint16_t* distance, size_t count)
{
    State& state = *m_state;
    if (count > m_size - state.next)
        throw std::out_of_range("LzParser: more positions than input");
    for (size_t k = 0; k < count; ++k)
        state.Step(state.next + k, length[k], distance[k]);
    state.next += count;
}

std::vector<unsigned char> LzParser::Finish(LzEncodeStats* stats)
{
    State& state = *m_state;
    if (state.next != m_size)
        throw std::logic_error("LzParser: positions missing");
    // Walk back from the end, marking where each token ends and counting the bits, then emit the tokens
    // front to back.
    std::vector<uint64_t> ends(m_size / 64 + 1);
    LzEncodeStats counted;
    for (size_t j = m_size; j > 0; j -= state.tokenLength[j] + 1u) {
        ends[j / 64] |= uint64_t(1) << (j % 64);
        ++(state.tokenLength[j] == 0 ? counted.literalTokens : counted.matchTokens);
    }
    counted.bits = counted.literalTokens * LZ_LITERAL_TOKEN_BITS + counted.matchTokens * LZ_MATCH_TOKEN_BITS;
    std::vector<unsigned char> out(static_cast<size_t>((counted.bits + 7) / 8));
    BitWriter writer(out.data());
    for (size_t word = 0; word < ends.size(); ++word) {
        for (uint64_t bits = ends[word]; bits != 0; bits &= bits - 1) {
            const size_t end = word * 64 + static_cast<size_t>(CountTrailingZeros(bits));
            const unsigned length = state.tokenLength[end];
            const size_t start = end - length - 1;
            if (length == 0) {
                writer.Put(m_data[end - 1], 1 + LZ_LITERAL_BITS);
            } else {
                // Positions count from the first stream byte until the window has filled, then from the oldest.
                const size_t source = start - state.tokenDistance[end];
                const size_t position = start < LZ_WINDOW_SIZE ? source : source - (start - LZ_WINDOW_SIZE);
                writer.Put((((1u << LZ_POSITION_BITS | static_cast<uint32_t>(position)) << LZ_LENGTH_BITS |
                            (length - 1)) << LZ_LITERAL_BITS) | m_data[end - 1],
                           LZ_MATCH_TOKEN_BITS);
            }
        }
    }
    writer.Flush();
    if (stats)
        *stats = counted;
    m_state.reset();
    return out;
}

std::vector<unsigned char> LzEncode(const unsigned char* data, size_t size, LzEncodeStats* stats)
{
    LzParser parser(data, size);
    LzParser::State& state = *parser.m_state;
    MatchFinder finder(data, size);
    for (size_t i = 0; i < size; ++i) {
        unsigned longest, distance;
        finder.Find(i, longest, distance);
        state.Step(i, longest, distance);
    }
    state.next = size;
    return parser.Finish(stats);
}
