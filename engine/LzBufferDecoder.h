// In-memory decoder of the compressed section: decodes straight into one output buffer that keeps the whole
// content stream, so the window is simply its last 4096 bytes. Every reference is validated; matches that
// wrap from the newest window byte to the oldest one are accepted, as the format allows.
#pragma once

#include "LzDecoder.h"  // LzStatus

#include <cstddef>
#include <cstdint>
#include <vector>

class LzBufferDecoder {
public:
    LzBufferDecoder(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}

    // Decodes whole tokens until at least target bytes have been produced (the last token may go beyond).
    // On failure the output keeps the bytes of the tokens decoded before the bad one.
    LzStatus DecodeTo(uint64_t target);

    const std::vector<unsigned char>& Output() const { return m_out; }
    std::vector<unsigned char>& Output() { return m_out; }
    uint64_t Produced() const { return m_out.size(); }

    // Input consumed so far: bits, and bytes including the partly used last one.
    uint64_t BitsConsumed() const { return m_bit; }
    size_t BytesConsumed() const { return static_cast<size_t>((m_bit + 7) / 8); }

    // The unused bits of the last consumed byte (they should be zero padding).
    unsigned PaddingBits() const;

private:
    const unsigned char* m_data;
    size_t m_size;
    uint64_t m_bit = 0;  // next unread bit
    std::vector<unsigned char> m_out;
};

// Decodes a whole stream of exactly outputSize bytes; false when the data is bad, truncated or when the last
// token runs past outputSize. inputUsed (optional) receives the bytes consumed.
bool LzDecodeBuffer(const unsigned char* data, size_t size, size_t outputSize, std::vector<unsigned char>& out,
                    size_t* inputUsed = nullptr);
