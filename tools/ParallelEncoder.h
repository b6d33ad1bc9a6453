// The archive coder on several threads: the input is cut into blocks whose longest matches are searched in
// parallel (each block searches the window before it again), and one optimal parse runs over them in order.
// The stream is the same, byte for byte, as the one-thread encoder's.
#pragma once

#include "LzEncoder.h"

#include <cstddef>
#include <vector>

constexpr size_t PARALLEL_BLOCK_SIZE = 1 << 20;

// The number of threads to use by default: the machine's processors (at least 1).
unsigned DefaultThreadCount();

// threads 0 or 1, or an input of less than two blocks: LzEncode on this thread.
std::vector<unsigned char> LzEncodeParallel(const unsigned char* data, size_t size, unsigned threads,
                                            LzEncodeStats* stats = nullptr, size_t blockSize = PARALLEL_BLOCK_SIZE);

inline std::vector<unsigned char> LzEncodeParallel(const std::vector<unsigned char>& data, unsigned threads,
                                                   LzEncodeStats* stats = nullptr)
{
    return LzEncodeParallel(data.data(), data.size(), threads, stats);
}
