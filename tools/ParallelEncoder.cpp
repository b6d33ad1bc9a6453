#include "ParallelEncoder.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

unsigned DefaultThreadCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

struct Block {
    std::vector<uint8_t> length;
    std::vector<uint16_t> distance;
    bool ready = false;
};

}  // namespace

std::vector<unsigned char> LzEncodeParallel(const unsigned char* data, size_t size, unsigned threads,
                                            LzEncodeStats* stats, size_t blockSize)
{
    blockSize = std::max<size_t>(blockSize, 1);
    const size_t blocks = (size + blockSize - 1) / blockSize;
    if (threads <= 1 || blocks < 2)
        return LzEncode(data, size, stats);
    threads = static_cast<unsigned>(std::min<size_t>(threads, blocks));

    // Workers take blocks in order, at most a few ahead of the parse, so memory stays bounded.
    const size_t ahead = 2 * size_t(threads);
    std::vector<Block> table(blocks);
    std::mutex mutex;
    std::condition_variable changed;
    size_t nextBlock = 0;   // the next block a worker takes
    size_t parsedBlocks = 0;
    bool stop = false;
    std::exception_ptr failure;

    auto work = [&] {
        for (;;) {
            size_t b;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || nextBlock >= blocks || nextBlock < parsedBlocks + ahead; });
                if (stop || nextBlock >= blocks)
                    return;
                b = nextBlock++;
            }
            try {
                const size_t begin = b * blockSize, end = std::min(size, begin + blockSize);
                Block found;
                found.length.resize(end - begin);
                found.distance.resize(end - begin);
                LzFindMatchesRange(data, size, begin, end, found.length.data(), found.distance.data());
                std::lock_guard<std::mutex> lock(mutex);
                found.ready = true;
                table[b] = std::move(found);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    LzParser parser(data, size);
    try {
        for (unsigned t = 0; t < threads; ++t)
            workers.emplace_back(work);
        for (size_t b = 0; b < blocks; ++b) {
            Block block;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || table[b].ready; });
                if (stop)
                    break;
                block = std::move(table[b]);
                table[b] = Block();
            }
            parser.Add(block.length.data(), block.distance.data(), block.length.size());
            {
                std::lock_guard<std::mutex> lock(mutex);
                parsedBlocks = b + 1;
            }
            changed.notify_all();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure)
            failure = std::current_exception();
        stop = true;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = stop || parsedBlocks < blocks;
    }
    changed.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return parser.Finish(stats);
}
