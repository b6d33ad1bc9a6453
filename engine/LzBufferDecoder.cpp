#include "LzBufferDecoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t SLACK = 2 * LZ_MAX_TOKEN_OUTPUT;  // room for the fixed 32-byte match copy past the end

inline uint64_t LoadBigEndian64(const unsigned char* p)
{
    return uint64_t(p[0]) << 56 | uint64_t(p[1]) << 48 | uint64_t(p[2]) << 40 | uint64_t(p[3]) << 32 |
           uint64_t(p[4]) << 24 | uint64_t(p[5]) << 16 | uint64_t(p[6]) << 8 | uint64_t(p[7]);
}

}  // namespace

namespace {

// Decodes the token whose first bit is the top bit of bits, writing at out + produced; size receives its bits.
inline LzStatus DecodeToken(uint64_t bits, bool literalMissing, unsigned char* out, size_t& produced, unsigned& size)
{
    if (!(bits >> 63)) {
        if (literalMissing)
            return LzStatus::Truncated;
        out[produced++] = static_cast<unsigned char>(bits >> 55);
        size = LZ_LITERAL_TOKEN_BITS;
        return LzStatus::Ok;
    }
    const size_t position = static_cast<size_t>(bits >> 51) & 0xFFF;
    const size_t length = (static_cast<size_t>(bits >> 46) & 31) + 1;
    size_t source;
    if (produced < LZ_WINDOW_SIZE) {
        if (position + length > produced)
            return LzStatus::BadReference;
        source = position;
    } else {
        source = produced - LZ_WINDOW_SIZE + position;
    }
    // Like the streaming decoder, a bad reference is reported before a missing literal.
    if (literalMissing)
        return LzStatus::Truncated;
    if (source + length <= produced) {
        // Load all 32 bytes before storing: source and destination may overlap past the match.
        unsigned char copy[LZ_MAX_MATCH];
        std::memcpy(copy, out + source, LZ_MAX_MATCH);
        std::memcpy(out + produced, copy, LZ_MAX_MATCH);
    } else {
        // The match runs past the newest byte and continues at the oldest one.
        for (size_t k = 0; k < length; ++k) {
            const size_t from = source + k;
            out[produced + k] = out[from < produced ? from : from - LZ_WINDOW_SIZE];
        }
    }
    out[produced + length] = static_cast<unsigned char>(bits >> 38);
    produced += length + 1;
    size = LZ_MATCH_TOKEN_BITS;
    return LzStatus::Ok;
}

}  // namespace

LzStatus LzBufferDecoder::DecodeTo(uint64_t target)
{
    size_t produced = m_out.size();
    if (produced >= target)
        return LzStatus::Ok;
    // Never allocate more than the remaining input could produce (33 bytes per 26 bits at most).
    const uint64_t totalBits = static_cast<uint64_t>(m_size) * 8;
    const uint64_t reachable = produced + ((totalBits - m_bit) / LZ_MATCH_TOKEN_BITS + 1) * LZ_MAX_TOKEN_OUTPUT;
    m_out.resize(static_cast<size_t>(std::min<uint64_t>(target, reachable)) + SLACK);
    unsigned char* out = m_out.data();
    const size_t limit = m_out.size() - SLACK;
    // Bit positions up to fastEnd can load 8 whole bytes.
    const uint64_t fastEnd = m_size >= 8 ? (static_cast<uint64_t>(m_size) - 8) * 8 : 0;
    LzStatus status = LzStatus::Ok;
    uint64_t bit = m_bit;
    while (status == LzStatus::Ok && produced < target) {
        if (produced >= limit) {
            status = LzStatus::Truncated;
            break;
        }
        unsigned size = 0;
        if (m_size >= 8 && bit <= fastEnd) {
            // One load holds at least 57 bits: take tokens while a whole match token still fits.
            uint64_t bits = LoadBigEndian64(m_data + (bit >> 3)) << (bit & 7);
            unsigned available = 64 - static_cast<unsigned>(bit & 7);
            for (;;) {
                status = DecodeToken(bits, false, out, produced, size);
                if (status != LzStatus::Ok)
                    break;
                bit += size;
                bits <<= size;
                available -= size;
                if (available < LZ_MATCH_TOKEN_BITS || produced >= target || produced >= limit)
                    break;
            }
        } else {
            // Near the end: assemble what is left, zero-filled, and check the fields are really there.
            unsigned char tail[8] = {};
            const size_t first = static_cast<size_t>(bit >> 3);
            if (first < m_size)
                std::memcpy(tail, m_data + first, std::min<size_t>(8, m_size - first));
            const uint64_t bits = LoadBigEndian64(tail) << (bit & 7);
            const unsigned header = (bits >> 63) ? LZ_MATCH_TOKEN_BITS - LZ_LITERAL_BITS : 1;
            if (bit + header > totalBits) {
                status = LzStatus::Truncated;
                break;
            }
            status = DecodeToken(bits, bit + header + LZ_LITERAL_BITS > totalBits, out, produced, size);
            if (status == LzStatus::Ok)
                bit += size;
        }
    }
    m_bit = bit;
    m_out.resize(produced);
    return status;
}

unsigned LzBufferDecoder::PaddingBits() const
{
    const unsigned used = static_cast<unsigned>(m_bit & 7);
    if (used == 0)
        return 0;
    return m_data[m_bit >> 3] & ((1u << (8 - used)) - 1);
}

bool LzDecodeBuffer(const unsigned char* data, size_t size, size_t outputSize, std::vector<unsigned char>& out,
                    size_t* inputUsed)
{
    LzBufferDecoder decoder(data, size);
    const LzStatus status = decoder.DecodeTo(outputSize);
    if (inputUsed)
        *inputUsed = decoder.BytesConsumed();
    out.swap(decoder.Output());
    return status == LzStatus::Ok && out.size() == outputSize;
}
