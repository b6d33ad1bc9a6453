// Fuzzes the decoders and the archive reader: the streaming and the in-memory decoder must agree on every
// input, the reader must never crash, and the encoder must round-trip the input.
#include "ArchiveReader.h"
#include "LzBufferDecoder.h"
#include "LzDecoder.h"
#include "LzEncoder.h"

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

    const std::vector<unsigned char> encoded = LzEncode(data, size);
    std::vector<unsigned char> decoded;
    if (!LzDecodeBuffer(encoded.data(), encoded.size(), size, decoded) ||
        (size != 0 && std::memcmp(decoded.data(), data, size) != 0))
        std::abort();
    return 0;
}
