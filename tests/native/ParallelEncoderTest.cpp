// The coder on several threads gives the one-thread encoder's stream, byte for byte.
#include "ArchiveWriter.h"
#include "LzEncoder.h"
#include "Manifest.h"
#include "ParallelEncoder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The demo product's files as the build stages them, its two programs stood in for by other PE files.
std::vector<PayloadFile> DemoPayload()
{
    const fs::path source = fs::path(QU_SOURCE_DIR) / "demo" / "product";
    const fs::path staged = ScratchDir("ParallelDemo");
    fs::copy(source, staged, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const fs::path wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
    const fs::path programs[] = {wine / "notepad.exe", wine / "regedit.exe", "/usr/bin/cmake", "/usr/bin/bash"};
    const char* names[] = {"Plankora.exe", "Uninstall.exe"};
    size_t next = 0;
    for (const char* name : names) {
        while (next < 4 && !fs::exists(programs[next]))
            ++next;
        Bytes program = next < 4 ? ReadFileBytes(programs[next++].string()) : ToBytes(name);
        if (program.size() > 700000)
            program.resize(700000);
        WriteFileBytes(staged / name, program);
    }
    std::vector<PayloadFile> files;
    std::vector<std::string> errors;
    EXPECT_TRUE(LoadManifest(staged / "payload.manifest", files, errors)) << (errors.empty() ? "" : errors[0]);
    return files;
}

TEST(ParallelEncoder, SameStreamAsOneThreadAtEveryBlockBoundary)
{
    std::mt19937 rng(8);
    std::vector<Bytes> inputs = {RandomBytes(rng, 100000, 3), Bytes(40000, 0x5A)};
    Bytes binary = ReadFileBytes("/usr/bin/cmake");
    binary.resize(std::min<size_t>(binary.size(), 200000));
    inputs.push_back(binary);
    Bytes demo;
    for (const PayloadFile& file : DemoPayload())
        demo.insert(demo.end(), file.data.begin(), file.data.end());
    ASSERT_GT(demo.size(), 100000u);
    inputs.push_back(demo);
    for (const Bytes& input : inputs) {
        LzEncodeStats one;
        const Bytes expected = LzEncode(input, &one);
        // Blocks shorter than the window, one byte past it, and long ones; more threads than blocks.
        for (size_t block : {size_t(1000), LZ_WINDOW_SIZE + 1, size_t(65536)}) {
            for (unsigned threads : {2u, 3u, 64u}) {
                LzEncodeStats many;
                const Bytes got = LzEncodeParallel(input.data(), input.size(), threads, &many, block);
                ASSERT_EQ(got, expected) << input.size() << " bytes, blocks of " << block << ", " << threads;
                EXPECT_EQ(many.bits, one.bits);
                EXPECT_EQ(many.matchTokens, one.matchTokens);
            }
        }
    }
}

TEST(ParallelEncoder, MatchesOfARangeAreThoseOfTheWholeInput)
{
    std::mt19937 rng(21);
    const Bytes d = RandomBytes(rng, 30000, 4);
    const LzMatchTable whole = LzFindMatches(d.data(), d.size());
    for (size_t begin : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(9000), d.size() - 5}) {
        const size_t end = std::min(d.size(), begin + 7000);
        std::vector<uint8_t> length(end - begin);
        std::vector<uint16_t> distance(end - begin);
        LzFindMatchesRange(d.data(), d.size(), begin, end, length.data(), distance.data());
        for (size_t i = begin; i < end; ++i) {
            ASSERT_EQ(length[i - begin], whole.length[i]) << begin << " at " << i;
            ASSERT_EQ(distance[i - begin], whole.distance[i]) << begin << " at " << i;
        }
    }
}

TEST(ParallelEncoder, DemoArchiveIsTheSameForEveryThreadCount)
{
    const std::vector<PayloadFile> files = DemoPayload();
    Bytes one, many;
    std::string error;
    ASSERT_TRUE(BuildArchive(files, one, error, nullptr, 1)) << error;
    for (unsigned threads : {2u, DefaultThreadCount()}) {
        ASSERT_TRUE(BuildArchive(files, many, error, nullptr, threads)) << error;
        EXPECT_EQ(many, one) << threads << " threads";
    }
}

}  // namespace
