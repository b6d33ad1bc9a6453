// Helpers shared by the native tests: hand-made token streams, archives and scratch folders.
#pragma once

#include "ArchiveFormat.h"
#include "Hash33.h"
#include "LzDecoder.h"
#include "LzFormat.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Writes tokens bit by bit, most significant bit first.
class TokenWriter {
public:
    void Literal(unsigned char byte) { Put(0, 1), Put(byte, 8); }
    void Match(unsigned position, unsigned length, unsigned char literal)
    {
        Put(1, 1), Put(position, 12), Put(length - 1, 5), Put(literal, 8);
    }
    void Put(uint32_t value, unsigned count)
    {
        for (unsigned k = count; k-- > 0;)
            PutBit((value >> k) & 1);
    }
    void PutBit(unsigned bit)
    {
        if (m_bits % 8 == 0)
            m_out.push_back(0);
        if (bit)
            m_out.back() |= static_cast<unsigned char>(0x80 >> (m_bits % 8));
        ++m_bits;
    }
    const Bytes& Data() const { return m_out; }
    uint64_t Bits() const { return m_bits; }

private:
    Bytes m_out;
    uint64_t m_bits = 0;
};

// Decodes a whole stream with the streaming decoder; false on any failure or overshoot.
// Decodes token by token as the extractor does: from the bytes in memory while a whole token's worth is
// left (fromMemory), else through the byte source; both must take exactly the same bytes.
inline bool StreamDecode(const Bytes& in, size_t outputSize, Bytes& out, LzStatus* failure = nullptr,
                         bool fromMemory = false)
{
    LzDecoder decoder;
    size_t next = 0;
    auto source = [&]() -> int { return next < in.size() ? in[next++] : LZ_SOURCE_END; };
    out.clear();
    while (out.size() < outputSize) {
        const unsigned char* unit = nullptr;
        unsigned length = 0;
        LzStatus status;
        if (fromMemory && in.size() - next >= LZ_MAX_TOKEN_INPUT) {
            const unsigned char* p = in.data() + next;
            status = decoder.DecodeUnitFrom(p, unit, length);
            next = static_cast<size_t>(p - in.data());
        } else {
            status = decoder.DecodeUnit(source, unit, length);
        }
        if (status != LzStatus::Ok) {
            if (failure)
                *failure = status;
            return false;
        }
        out.insert(out.end(), unit, unit + length);
    }
    return out.size() == outputSize;
}

inline Bytes RandomBytes(std::mt19937& rng, size_t size, unsigned alphabet = 256)
{
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<unsigned char>(rng() % alphabet);
    return out;
}

inline Bytes ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const Bytes& data)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A fresh empty folder under the test build tree, named after the test.
inline std::filesystem::path ScratchDir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::path(QU_TEST_TMP) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Prepends the archive checksum to a body.
inline Bytes SealArchive(const Bytes& body)
{
    Bytes archive(4);
    WriteLE32(archive.data(), Hash33(body.data(), body.size()));
    archive.insert(archive.end(), body.begin(), body.end());
    return archive;
}
