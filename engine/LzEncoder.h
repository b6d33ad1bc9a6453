// Optimal encoder of the compressed section.
//
// The window content at a stream position does not depend on how earlier bytes were parsed (every token
// appends its output), so the longest match available at position i, Lmax(i), is a property of the input
// and every shorter length is available too. A literal token costs 9 bits for 1 byte, a match token 26 bits
// for L + 1 bytes. A shortest-path search over positions then gives the fewest bits the format allows.
//
// Matches never run past the newest window byte into the oldest one (the ring wrap the format allows):
// simple decoders that copy from a flat history then read the output as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct LzEncodeStats {
    uint64_t bits = 0;  // token bits, without the final padding
    uint64_t literalTokens = 0;
    uint64_t matchTokens = 0;
};

// Longest match lengths and their sources, one per input position (exposed for tests and benchmarks).
struct LzMatchTable {
    std::vector<uint8_t> length;     // 0 or 2..32: the longest usable match at each position
    std::vector<uint16_t> distance;  // i - source, 1..4096, where length is not 0
};

// Finds, for every position, the longest match over the whole window (source s with i - 4096 <= s and
// s + L <= i) of at most 32 bytes that leaves a byte for the literal. Lengths of 1 are reported as 0:
// a one-byte match never beats two literals.
LzMatchTable LzFindMatches(const unsigned char* data, size_t size);

// The same for the positions [begin, end) of data[0, size) alone: exactly what LzFindMatches gives there
// (the window before begin is searched again). Blocks of one input can so be searched independently, on
// several threads, for the same encoding.
void LzFindMatchesRange(const unsigned char* data, size_t size, size_t begin, size_t end, uint8_t* length,
                        uint16_t* distance);

// The optimal parse over longest matches given position by position, in order (from LzFindMatchesRange).
class LzParser {
public:
    LzParser(const unsigned char* data, size_t size);
    ~LzParser();
    LzParser(const LzParser&) = delete;
    LzParser& operator=(const LzParser&) = delete;

    // The longest matches of the next count positions.
    void Add(const uint8_t* length, const uint16_t* distance, size_t count);
    // Once every position was added: the encoded stream, as LzEncode makes it.
    std::vector<unsigned char> Finish(LzEncodeStats* stats = nullptr);

private:
    friend std::vector<unsigned char> LzEncode(const unsigned char*, size_t, LzEncodeStats*);
    struct State;
    const unsigned char* m_data;
    size_t m_size;
    std::unique_ptr<State> m_state;
};

// Encodes the whole stream with an optimal parse; the last byte is padded with zero bits.
// Deterministic. Inputs of 4 GiB or more are refused with std::length_error.
std::vector<unsigned char> LzEncode(const unsigned char* data, size_t size, LzEncodeStats* stats = nullptr);

inline std::vector<unsigned char> LzEncode(const std::vector<unsigned char>& data, LzEncodeStats* stats = nullptr)
{
    return LzEncode(data.data(), data.size(), stats);
}
