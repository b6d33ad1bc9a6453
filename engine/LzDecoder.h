// Streaming decoder of the compressed section, one token at a time.
// It pulls bytes from a source only when the next field needs more bits than it holds, so it never
// reads past the byte that carries the last bit of the last token it decoded.
#pragma once

#include "LzFormat.h"

#include <cstdint>

// Values a byte source returns besides 0..255.
constexpr int LZ_SOURCE_END = -1;    // no more bytes
constexpr int LZ_SOURCE_ERROR = -2;  // the source failed (for example a failed file read)

enum class LzStatus {
    Ok,
    Truncated,     // the source ended inside a token
    BadReference,  // the match refers to bytes the window does not hold
    SourceError,   // the source reported a failure
};

class LzDecoder {
public:
    // Decodes one token into out (at least LZ_MAX_TOKEN_OUTPUT bytes); length receives 1..33.
    // Source is a callable returning int: a byte 0..255, LZ_SOURCE_END or LZ_SOURCE_ERROR.
    template <class Source>
    LzStatus DecodeToken(Source& source, unsigned char* out, unsigned& length);

    // Bytes produced so far (the content stream position).
    uint64_t Produced() const { return m_produced; }

private:
    template <class Source>
    int TakeBits(Source& source, unsigned count);  // the field, or a negative LZ_SOURCE_ value

    uint32_t m_accumulator = 0;
    unsigned m_unread = 0;  // unread low bits of the accumulator
    uint64_t m_produced = 0;
    unsigned char m_window[LZ_WINDOW_SIZE] = {};
};

template <class Source>
int LzDecoder::TakeBits(Source& source, unsigned count)
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
LzStatus LzDecoder::DecodeToken(Source& source, unsigned char* out, unsigned& length)
{
    auto failure = [](int code) { return code == LZ_SOURCE_END ? LzStatus::Truncated : LzStatus::SourceError; };
    length = 0;
    const int flag = TakeBits(source, 1);
    if (flag < 0)
        return failure(flag);
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
        size_t base = 0;
        if (m_produced < LZ_WINDOW_SIZE) {
            if (static_cast<uint64_t>(position) + matchLength > m_produced)
                return LzStatus::BadReference;
        } else {
            base = static_cast<size_t>(m_produced & LZ_WINDOW_MASK);
        }
        for (unsigned k = 0; k < matchLength; ++k)
            out[k] = m_window[(base + static_cast<size_t>(position) + k) & LZ_WINDOW_MASK];
    }
    const int literal = TakeBits(source, LZ_LITERAL_BITS);
    if (literal < 0)
        return failure(literal);
    out[matchLength] = static_cast<unsigned char>(literal);
    length = matchLength + 1;
    // The token's bytes enter the window only now: a match never reads its own output.
    for (unsigned k = 0; k < length; ++k)
        m_window[(m_produced + k) & LZ_WINDOW_MASK] = out[k];
    m_produced += length;
    return LzStatus::Ok;
}
