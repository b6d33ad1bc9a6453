// Streaming decoder of the compressed section, one token at a time.
// It pulls bytes from a source only when the next field needs more bits than it holds, so it never
// reads past the byte that carries the last bit of the last token it decoded.
//
// The output lands in a flat history buffer that holds at least the last 4096 bytes (the window) before the
// token; when it fills up, the window is moved back to its start. A match is then one block copy from the
// history, except for a match that wraps from the newest window byte to the oldest one.
#pragma once

#include "LzFormat.h"

#include <cstdint>
#include <cstring>

// Values a byte source returns besides 0..255.
constexpr int LZ_SOURCE_END = -1;    // no more bytes
constexpr int LZ_SOURCE_ERROR = -2;  // the source failed (for example a failed file read)

// The most input bytes one token can need: 26 bits beyond the up to 7 bits already held.
constexpr unsigned LZ_MAX_TOKEN_INPUT = 4;

enum class LzStatus {
    Ok,
    Truncated,     // the source ended inside a token
    BadReference,  // the match refers to bytes the window does not hold
    SourceError,   // the source reported a failure
};

class LzDecoder {
public:
    LzDecoder() { std::memset(m_history, 0, sizeof m_history); }

    // Decodes one token into out (at least LZ_MAX_TOKEN_OUTPUT bytes); length receives 1..33.
    // Source is a callable returning int: a byte 0..255, LZ_SOURCE_END or LZ_SOURCE_ERROR.
    template <class Source>
    LzStatus DecodeToken(Source& source, unsigned char* out, unsigned& length)
    {
        const unsigned char* unit = nullptr;
        const LzStatus status = DecodeUnit(source, unit, length);
        if (status == LzStatus::Ok)
            std::memcpy(out, unit, length);
        return status;
    }

    // Decodes one token; unit receives its bytes inside the decoder (valid until the next call, with
    // LZ_MAX_TOKEN_OUTPUT bytes readable from unit).
    template <class Source>
    LzStatus DecodeUnit(Source& source, const unsigned char*& unit, unsigned& length);

    // The same from bytes in memory: [in, in + LZ_MAX_TOKEN_INPUT) must be readable. in moves past the bytes
    // the token took (exactly those the source form would have pulled).
    LzStatus DecodeUnitFrom(const unsigned char*& in, const unsigned char*& unit, unsigned& length)
    {
        const unsigned char* p = in;
        auto source = [&p]() -> int { return *p++; };
        const LzStatus status = DecodeUnit(source, unit, length);
        in = p;
        return status;
    }

    // Bytes produced so far (the content stream position).
    uint64_t Produced() const { return m_produced; }

private:
    // Room for 15 windows before the window is moved back; 64 bytes of slack for whole-block copies.
    static constexpr size_t HISTORY_SIZE = 16 * LZ_WINDOW_SIZE;
    static constexpr size_t HISTORY_SLACK = 64;

    template <class Source>
    int TakeBits(Source& source, unsigned count);  // the field, or a negative LZ_SOURCE_ value

    uint32_t m_accumulator = 0;
    unsigned m_unread = 0;  // unread low bits of the accumulator
    uint64_t m_produced = 0;
    size_t m_end = 0;  // history bytes in use; the stream position m_produced is m_history[m_end]
    unsigned char m_history[HISTORY_SIZE + HISTORY_SLACK];
};

template <class Source>
inline int LzDecoder::TakeBits(Source& source, unsigned count)
{
    while (m_unread < count) {
        const int byte = source();
        if (byte < 0)
            return byte;
        m_accumulator = (m_accumulator << 8) | static_cast<uint32_t>(byte);
        m_unread += 8;
    }
    m_unread -= count;
    return static_cast<int>((m_accumulator >> m_unread) & ((1u << count) - 1));
}

template <class Source>
inline LzStatus LzDecoder::DecodeUnit(Source& source, const unsigned char*& unit, unsigned& length)
{
    auto failure = [](int code) { return code == LZ_SOURCE_END ? LzStatus::Truncated : LzStatus::SourceError; };
    length = 0;
    const int flag = TakeBits(source, 1);
    if (flag < 0)
        return failure(flag);
    // The token goes to m_history + m_end; keep the window and room for a whole token plus block copies.
    if (m_end + LZ_MAX_TOKEN_OUTPUT > HISTORY_SIZE) {
        std::memmove(m_history, m_history + m_end - LZ_WINDOW_SIZE, LZ_WINDOW_SIZE);
        m_end = LZ_WINDOW_SIZE;
    }
    unsigned char* out = m_history + m_end;
    unsigned matchLength = 0;
    if (flag) {
        const int position = TakeBits(source, LZ_POSITION_BITS);
        if (position < 0)
            return failure(position);
        const int lengthField = TakeBits(source, LZ_LENGTH_BITS);
        if (lengthField < 0)
            return failure(lengthField);
        matchLength = static_cast<unsigned>(lengthField) + 1;
        // Until the window has filled, positions count from the first byte of the stream and only the bytes
        // produced so far exist; afterwards they count from the oldest byte, the one overwritten next.
        const size_t pos = static_cast<size_t>(position);
        size_t from;
        if (m_produced < LZ_WINDOW_SIZE) {
            if (pos + matchLength > m_produced)
                return LzStatus::BadReference;
            from = pos;  // the history still starts with the stream
        } else {
            from = m_end - LZ_WINDOW_SIZE + pos;
        }
        if (pos + matchLength <= LZ_WINDOW_SIZE || m_produced < LZ_WINDOW_SIZE) {
            // The match lies before out, but a whole 32-byte block from it may run into out: load it all
            // before storing.
            unsigned char block[LZ_MAX_MATCH];
            std::memcpy(block, m_history + from, LZ_MAX_MATCH);
            std::memcpy(out, block, LZ_MAX_MATCH);
        } else {
            // The match runs past the newest window byte and continues at the oldest one.
            const size_t oldest = m_end - LZ_WINDOW_SIZE;
            for (unsigned k = 0; k < matchLength; ++k)
                out[k] = m_history[oldest + ((pos + k) & LZ_WINDOW_MASK)];
        }
    }
    const int literal = TakeBits(source, LZ_LITERAL_BITS);
    if (literal < 0)
        return failure(literal);
    out[matchLength] = static_cast<unsigned char>(literal);
    length = matchLength + 1;
    // The token's bytes count as window bytes only now: a match never reads its own output.
    m_end += length;
    m_produced += length;
    unit = out;
    return LzStatus::Ok;
}
