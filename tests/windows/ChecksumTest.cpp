// Checksums of files.
#include "Checksum.h"
#include "Handles.h"
#include "Hash33.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

class Checksum : public ::testing::Test {
protected:
    void SetUp() override { m_folder = FreshFolder("checksum"); }
    void TearDown() override { RemoveTree(m_folder); }
    std::string File(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_folder + "\\" + name;
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    std::string m_folder;
};

TEST_F(Checksum, WholeFileAndAfterTheFirstFourBytes)
{
    const std::string path = File("abc", "1234abc");
    EXPECT_EQ(ComputeFileChecksum(path.c_str(), false, true), Hash33("1234abc", 7));
    EXPECT_EQ(ComputeFileChecksum(path.c_str(), false, false), 108966u);

    // More than one 64 KiB block, and exactly one block.
    std::string big(200000, 'x');
    for (size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<char>(k % 251);
    EXPECT_EQ(ComputeFileChecksum(File("big", big).c_str(), false, true), Hash33(big.data(), big.size()));
    const std::string block(65536, 'b');
    EXPECT_EQ(ComputeFileChecksum(File("block", block).c_str(), false, true), Hash33(block.data(), block.size()));
}

TEST_F(Checksum, ZeroBecomesTheSubstitute)
{
    EXPECT_EQ(ComputeFileChecksum(File("zero", std::string(1, '\0')).c_str(), false, true), 592952593u);
    EXPECT_EQ(ComputeFileChecksum(File("empty", "").c_str(), false, true), 592952593u);
    EXPECT_EQ(ComputeFileChecksum(File("four", "abcd").c_str(), false, false), 592952593u);
}

TEST_F(Checksum, FailuresGiveZero)
{
    EXPECT_EQ(ComputeFileChecksum((m_folder + "\\missing").c_str(), false, true), 0u);
    EXPECT_EQ(ComputeFileChecksum(File("three", "abc").c_str(), false, false), 0u);
    FileHandle file(CreateFileA(File("wo", "data").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    EXPECT_EQ(ChecksumOpenFile(file.Get(), false, true), 0u);  // not readable
}

TEST_F(Checksum, VerifyComparesTheFirstFourBytes)
{
    std::string good = std::string(4, '\0') + "payload body";
    const uint32_t sum = Hash33(good.data() + 4, good.size() - 4);
    for (int k = 0; k < 4; ++k)
        good[k] = static_cast<char>(sum >> (8 * k));
    EXPECT_TRUE(VerifyFileChecksum(File("good", good).c_str(), false));
    std::string bad = good;
    bad.back() ^= 1;
    EXPECT_FALSE(VerifyFileChecksum(File("bad", bad).c_str(), false));
    EXPECT_FALSE(VerifyFileChecksum(File("empty", "").c_str(), false));
    EXPECT_FALSE(VerifyFileChecksum(File("short", "abc").c_str(), false));
    EXPECT_FALSE(VerifyFileChecksum((m_folder + "\\missing").c_str(), false));
}

}  // namespace
