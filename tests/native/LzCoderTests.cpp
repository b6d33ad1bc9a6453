// The checksum, the token format's window rules in both decoders, and the optimal encoder.
#include "Hash33.h"
#include "LzBufferDecoder.h"
#include "LzEncoder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Both decoders must agree on the outcome and, when it succeeds, on the bytes.
Bytes DecodeBoth(const Bytes& stream, size_t size, LzStatus expected = LzStatus::Ok)
{
    Bytes streamed, fromMemory;
    LzStatus streamStatus = LzStatus::Ok, memoryStatus = LzStatus::Ok;
    const bool streamOk = StreamDecode(stream, size, streamed, &streamStatus);
    EXPECT_EQ(StreamDecode(stream, size, fromMemory, &memoryStatus, true), streamOk);
    EXPECT_EQ(memoryStatus, streamStatus);
    EXPECT_EQ(fromMemory, streamed);
    LzBufferDecoder decoder(stream.data(), stream.size());
    const LzStatus bufferStatus = decoder.DecodeTo(size);
    EXPECT_EQ(bufferStatus, expected);
    if (expected == LzStatus::Ok) {
        EXPECT_TRUE(streamOk);
        EXPECT_EQ(decoder.Output(), streamed);
    } else {
        EXPECT_FALSE(streamOk);
        EXPECT_EQ(streamStatus, expected);
    }
    return decoder.Output();
}

// Reference: longest match at i by trying every source of the window (length 1 included).
unsigned NaiveLongest(const Bytes& d, size_t i)
{
    const size_t n = d.size();
    unsigned best = 0;
    for (size_t s = i >= LZ_WINDOW_SIZE ? i - LZ_WINDOW_SIZE : 0; s < i; ++s) {
        const size_t cap = std::min({LZ_MAX_MATCH, n - i - 1, i - s});
        unsigned l = 0;
        while (l < cap && d[s + l] == d[i + l])
            ++l;
        best = std::max(best, l);
    }
    return best;
}

// Reference: fewest bits for the whole input, by backward dynamic programming over naive matches.
uint64_t NaiveOptimalBits(const Bytes& d)
{
    const size_t n = d.size();
    std::vector<uint64_t> cost(n + 1, 0);
    for (size_t i = n; i-- > 0;) {
        cost[i] = LZ_LITERAL_TOKEN_BITS + cost[i + 1];
        const unsigned longest = NaiveLongest(d, i);
        for (unsigned l = 1; l <= longest; ++l)
            cost[i] = std::min(cost[i], LZ_MATCH_TOKEN_BITS + cost[i + l + 1]);
    }
    return cost[0];
}

std::vector<Bytes> SmallInputs()
{
    std::mt19937 rng(12345);
    std::vector<Bytes> inputs = {{}, {7}, {7, 7}, {7, 7, 7}, ToBytes("abcabcabcabcabcabc"), Bytes(200, 0)};
    for (unsigned alphabet : {2u, 3u, 4u, 16u, 256u})
        for (int k = 0; k < 40; ++k)
            inputs.push_back(RandomBytes(rng, 1 + rng() % 300, alphabet));
    // Periodic data with a little noise: long matches at many distances, near the length cap.
    for (size_t period : {1, 2, 5, 31, 32, 33, 64}) {
        Bytes d(500);
        for (size_t i = 0; i < d.size(); ++i)
            d[i] = static_cast<unsigned char>(i % period + (rng() % 50 == 0 ? 100 : 0));
        inputs.push_back(d);
    }
    // Past the window: sources 4096 bytes back and beyond.
    for (unsigned alphabet : {2u, 4u}) {
        Bytes d = RandomBytes(rng, 4200, alphabet);
        Bytes tail(d.begin(), d.begin() + 600);  // repeats content that leaves the window meanwhile
        d.insert(d.end(), tail.begin(), tail.end());
        inputs.push_back(d);
    }
    return inputs;
}

}  // namespace

TEST(Hash33, KnownValues)
{
    EXPECT_EQ(Hash33("abc", 3), 108966u);
    EXPECT_EQ(Hash33("", 0), HASH33_ZERO_SUBSTITUTE);
    EXPECT_EQ(Hash33("oltdhxwv", 8), 592952593u);  // the running value ends at 0
    EXPECT_EQ(Hash33Update(0, "oltdhxwv", 8), 0u);
}

TEST(Hash33, IndependentOfBlockSplit)
{
    std::mt19937 rng(7);
    const Bytes data = RandomBytes(rng, 100000);
    uint32_t naive = 0;
    for (unsigned char b : data)
        naive = naive * 33u + b;
    for (int round = 0; round < 20; ++round) {
        uint32_t value = 0;
        for (size_t at = 0; at < data.size();) {
            const size_t n = std::min<size_t>(data.size() - at, rng() % 70000);
            value = Hash33Update(value, data.data() + at, n);
            at += n;
        }
        EXPECT_EQ(value, naive);
    }
    EXPECT_EQ(Hash33(data.data(), data.size()), Hash33Finish(naive));
}

TEST(LzWindow, PositionsCountFromStreamStartBeforeTheWindowFills)
{
    TokenWriter w;
    w.Literal('a'), w.Literal('b'), w.Literal('c');
    w.Match(0, 3, 'd');  // "abc" + 'd'
    w.Match(6, 1, 'e');  // the 'd'
    EXPECT_EQ(DecodeBoth(w.Data(), 9), ToBytes("abcabcdde"));
}

TEST(LzWindow, MatchNeverReadsItsOwnOutput)
{
    TokenWriter w;
    w.Literal('a'), w.Literal('b');
    w.Match(0, 3, 'x');  // would need the token's own first byte
    DecodeBoth(w.Data(), 6, LzStatus::BadReference);

    TokenWriter beyond;
    beyond.Literal('a');
    beyond.Match(1, 1, 'x');  // position 1 is not produced yet
    DecodeBoth(beyond.Data(), 3, LzStatus::BadReference);
}

TEST(LzWindow, ShortestAndLongestTokens)
{
    TokenWriter w;
    for (int k = 0; k < 32; ++k)
        w.Literal(static_cast<unsigned char>('A' + k));
    w.Match(0, 32, '!');  // 33 bytes in one token
    Bytes expected;
    for (int k = 0; k < 32; ++k)
        expected.push_back(static_cast<unsigned char>('A' + k));
    Bytes twice = expected;
    twice.insert(twice.end(), expected.begin(), expected.end());
    twice.push_back('!');
    EXPECT_EQ(DecodeBoth(w.Data(), 65), twice);
    EXPECT_EQ(w.Bits(), 32u * 9 + 26);
}

TEST(LzWindow, PositionsCountFromTheOldestByteOnceFull)
{
    // 5000 bytes: the ring's write position has wrapped past slot 0.
    Bytes content(5000);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<unsigned char>((i * 7 + i / 256) & 0xFF);
    TokenWriter w;
    for (unsigned char b : content)
        w.Literal(b);
    const size_t produced = content.size();
    w.Match(0, 4, 'x');     // the oldest byte: stream position produced - 4096
    w.Match(4095, 1, 'y');  // the newest byte before this token ('x')
    Bytes expected = content;
    for (size_t k = 0; k < 4; ++k)
        expected.push_back(content[produced - LZ_WINDOW_SIZE + k]);
    expected.push_back('x');
    expected.push_back('x');
    expected.push_back('y');
    EXPECT_EQ(DecodeBoth(w.Data(), expected.size()), expected);
}

TEST(LzWindow, MatchMayWrapFromNewestToOldest)
{
    Bytes content(4096 + 100);
    std::mt19937 rng(3);
    for (auto& b : content)
        b = static_cast<unsigned char>(rng());
    TokenWriter w;
    for (unsigned char b : content)
        w.Literal(b);
    w.Match(4094, 5, 'z');  // two newest bytes, then the three oldest
    const size_t oldest = content.size() - LZ_WINDOW_SIZE;
    Bytes expected = content;
    for (size_t s : {content.size() - 2, content.size() - 1, oldest, oldest + 1, oldest + 2})
        expected.push_back(content[s]);
    expected.push_back('z');
    EXPECT_EQ(DecodeBoth(w.Data(), expected.size()), expected);
}

TEST(LzWindow, LongStreamsWithWrappingMatchesDecodeAlike)
{
    // Far longer than the streaming decoder's history: its window is moved back many times, also between the
    // halves of matches that wrap from the newest byte to the oldest one.
    std::mt19937 rng(17);
    TokenWriter w;
    size_t produced = 0;
    while (produced < 300000) {
        const unsigned kind = rng() % 8;
        if (produced < LZ_WINDOW_SIZE || kind == 0) {
            w.Literal(static_cast<unsigned char>(rng()));
            produced += 1;
            continue;
        }
        const unsigned length = 1 + rng() % LZ_MAX_MATCH;
        // Now and then a match that starts among the newest bytes and wraps.
        const unsigned position = kind == 1 ? LZ_WINDOW_SIZE - 1 - rng() % length : rng() % LZ_WINDOW_SIZE;
        w.Match(position, length, static_cast<unsigned char>(rng()));
        produced += length + 1;
    }
    const Bytes decoded = DecodeBoth(w.Data(), produced);
    EXPECT_EQ(decoded.size(), produced);
}

TEST(LzWindow, TruncatedTokens)
{
    TokenWriter w;
    w.Literal('a');
    w.Match(0, 1, 'b');  // 35 bits: 5 bytes
    Bytes cut = w.Data();
    cut.pop_back();  // ends inside the match token's literal
    DecodeBoth(cut, 3, LzStatus::Truncated);
    cut.resize(1);   // ends inside the first literal
    DecodeBoth(cut, 1, LzStatus::Truncated);
    DecodeBoth(Bytes{}, 1, LzStatus::Truncated);

    // A bad reference is reported even when the input ends before the token's literal.
    TokenWriter early;
    early.Literal('a');
    early.Put(1, 1), early.Put(5, 12), early.Put(0, 5);
    DecodeBoth(early.Data(), 3, LzStatus::BadReference);
}

TEST(LzEncoder, MatchFinderIsExact)
{
    for (const Bytes& d : SmallInputs()) {
        const LzMatchTable table = LzFindMatches(d.data(), d.size());
        for (size_t i = 0; i < d.size(); ++i) {
            const unsigned naive = NaiveLongest(d, i);
            ASSERT_EQ(table.length[i], naive >= 2 ? naive : 0) << "size " << d.size() << " at " << i;
            if (table.length[i] != 0) {
                const size_t s = i - table.distance[i];
                ASSERT_GE(table.distance[i], table.length[i]);
                ASSERT_LE(table.distance[i], LZ_WINDOW_SIZE);
                ASSERT_TRUE(std::equal(d.begin() + s, d.begin() + s + table.length[i], d.begin() + i));
            }
        }
    }
}

TEST(LzEncoder, ParseIsOptimalAndRoundTrips)
{
    for (const Bytes& d : SmallInputs()) {
        LzEncodeStats stats;
        const Bytes encoded = LzEncode(d, &stats);
        ASSERT_EQ(stats.bits, NaiveOptimalBits(d)) << "size " << d.size();
        ASSERT_EQ(encoded.size(), (stats.bits + 7) / 8);
        Bytes decoded;
        ASSERT_TRUE(StreamDecode(encoded, d.size(), decoded));
        ASSERT_EQ(decoded, d);
        LzBufferDecoder decoder(encoded.data(), encoded.size());
        ASSERT_EQ(decoder.DecodeTo(d.size()), LzStatus::Ok);
        ASSERT_EQ(decoder.Output(), d);
        EXPECT_EQ(decoder.BitsConsumed(), stats.bits);
        EXPECT_EQ(decoder.PaddingBits(), 0u);
    }
}

TEST(LzEncoder, EmitsNeitherWrappingNorSelfOverlappingMatches)
{
    std::mt19937 rng(99);
    Bytes d = RandomBytes(rng, 20000, 3);
    const Bytes encoded = LzEncode(d);
    // Walk the tokens: every match must lie inside the history before its token, without the ring wrap.
    size_t bit = 0, produced = 0;
    auto take = [&](unsigned count) {
        uint32_t v = 0;
        for (unsigned k = 0; k < count; ++k, ++bit)
            v = v << 1 | ((encoded[bit / 8] >> (7 - bit % 8)) & 1);
        return v;
    };
    while (produced < d.size()) {
        if (take(1)) {
            const size_t position = take(12), length = take(5) + 1;
            if (produced < LZ_WINDOW_SIZE)
                ASSERT_LE(position + length, produced);
            else
                ASSERT_LE(position + length, LZ_WINDOW_SIZE);
            produced += length;
        }
        take(8);
        ++produced;
    }
    EXPECT_EQ(produced, d.size());
}

TEST(LzEncoder, RoundTripsRealDataDeterministically)
{
    std::vector<Bytes> inputs;
    for (const char* path : {"/usr/bin/ls", "/usr/bin/cmake", "/usr/bin/bash"}) {
        Bytes d = ReadFileBytes(path);
        if (d.size() > 600000)
            d.resize(600000);
        if (!d.empty())
            inputs.push_back(d);
    }
    inputs.push_back(ReadFileBytes(std::string(QU_SOURCE_DIR) + "/engine/LzEncoder.cpp"));
    std::mt19937 rng(5);
    inputs.push_back(RandomBytes(rng, 100000));
    inputs.push_back(Bytes(70000, 0xCC));
    for (const Bytes& d : inputs) {
        const Bytes encoded = LzEncode(d);
        EXPECT_EQ(LzEncode(d), encoded);
        Bytes decoded;
        ASSERT_TRUE(StreamDecode(encoded, d.size(), decoded));
        ASSERT_EQ(decoded, d);
        Bytes fast;
        ASSERT_TRUE(LzDecodeBuffer(encoded.data(), encoded.size(), d.size(), fast));
        ASSERT_EQ(fast, d);
    }
}

TEST(LzBufferDecoder, RejectsOvershootAndStopsAtTarget)
{
    TokenWriter w;
    w.Literal('a');
    w.Match(0, 1, 'b');  // produces bytes 2 and 3
    Bytes out;
    EXPECT_FALSE(LzDecodeBuffer(w.Data().data(), w.Data().size(), 2, out));  // last token runs past 2
    size_t used = 0;
    EXPECT_TRUE(LzDecodeBuffer(w.Data().data(), w.Data().size(), 3, out, &used));
    EXPECT_EQ(out, ToBytes("aab"));
    EXPECT_EQ(used, 5u);
}
