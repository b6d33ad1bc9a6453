// Fuzzes the decoders and the archive reader: the streaming and the in-memory decoder must agree on every
// input, the reader must never crash, the match finder must agree with a search of every source, and the
// encoder must round-trip the input.
#include "ArchiveReader.h"
#include "LzBufferDecoder.h"
#include "LzDecoder.h"
#include "LzEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Streaming decoder until it stops: once through the byte source only, once from memory while a whole
    // token's worth of bytes is left (as the extractor reads its block buffer). Both take the same bytes.
    std::vector<unsigned char> streamed;
    LzStatus streamStatus = LzStatus::Ok;
    for (const bool fromMemory : {false, true}) {
        LzDecoder streaming;
        size_t next = 0;
        auto source = [&]() -> int { return next < size ? data[next++] : LZ_SOURCE_END; };
        std::vector<unsigned char> out;
        LzStatus status;
        for (;;) {
            const unsigned char* unit = nullptr;
            unsigned length = 0;
            if (fromMemory && size - next >= LZ_MAX_TOKEN_INPUT) {
                const unsigned char* p = data + next;
                status = streaming.DecodeUnitFrom(p, unit, length);
                next = static_cast<size_t>(p - data);
            } else {
                status = streaming.DecodeUnit(source, unit, length);
            }
            if (status != LzStatus::Ok)
                break;
            out.insert(out.end(), unit, unit + length);
        }
        if (fromMemory && (status != streamStatus || out != streamed))
            std::abort();
        streamed.swap(out);
        streamStatus = status;
    }
    // The in-memory decoder must stop at the same token for the same reason.
    LzBufferDecoder buffered(data, size);
    const LzStatus bufferStatus = buffered.DecodeTo(~uint64_t(0));
    if (bufferStatus != streamStatus || buffered.Output() != streamed)
        std::abort();

    const ArchiveReport report = ReadArchive(data, size);
    if (report.Valid() && report.files.size() != report.entries.size())
        std::abort();

    // The match finder against every source of the window, on inputs small enough to try them all: the
    // longest match, and its newest source unless the one carried from the position before is as long.
    if (size <= 6000) {
        const LzMatchTable table = LzFindMatches(data, size);
        unsigned carried = 0, carriedDistance = 0;
        for (size_t i = 0; i < size; ++i) {
            const size_t cap = std::min<size_t>(32, size - i - 1);
            unsigned longest = 1, newest = 0;
            for (size_t s = i; s-- > (i >= 4096 ? i - 4096 : 0);) {
                size_t n = 0;
                while (n < cap && n < i - s && data[s + n] == data[i + n])
                    ++n;
                if (n > longest)
                    longest = static_cast<unsigned>(n), newest = static_cast<unsigned>(i - s);
            }
            if (longest < 2)
                longest = 0, newest = 0;
            const unsigned distance = carried >= 3 && longest == carried - 1 ? carriedDistance : newest;
            if (table.length[i] != longest || table.distance[i] != distance)
                std::abort();
            carried = longest, carriedDistance = distance;
        }
    }

    const std::vector<unsigned char> encoded = LzEncode(data, size);
    std::vector<unsigned char> decoded;
    if (!LzDecodeBuffer(encoded.data(), encoded.size(), size, decoded) ||
        (size != 0 && std::memcmp(decoded.data(), data, size) != 0))
        std::abort();
    return 0;
}
