// Linked into each shipped program ahead of the C++ runtime (like StaticGuards.cpp): the memory of thrown
// exceptions. The runtime's versions add an emergency pool for throwing when the heap is exhausted, 2.5 KB
// of code and a block allocated before the program starts; here an exception that cannot be allocated ends
// the program through std::terminate, as the runtime does once its pool is used up.
//
// The runtime keeps its record of an exception just below the thrown object and finds it by subtracting the
// record's size, which depends on the runtime's build. These functions leave kRecordRoom bytes below the
// object, more than the record takes (96 bytes on i686 and 160 on x86_64 with GCC 12), and a multiple of 16,
// so that the object keeps the alignment that the heap gives: the record lies within the block wherever the
// runtime puts it.
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

constexpr std::size_t kRecordRoom = 256;

}  // namespace

extern "C" {

void* __cxa_allocate_exception(std::size_t size) noexcept
{
    void* block = size <= static_cast<std::size_t>(-1) - kRecordRoom ? std::malloc(kRecordRoom + size) : nullptr;
    if (!block)
        std::terminate();
    std::memset(block, 0, kRecordRoom);
    return static_cast<char*>(block) + kRecordRoom;
}

void __cxa_free_exception(void* object) noexcept { std::free(static_cast<char*>(object) - kRecordRoom); }

// The record of an exception that another one refers to (std::rethrow_exception): the record alone.
void* __cxa_allocate_dependent_exception() noexcept
{
    void* record = std::calloc(1, kRecordRoom);
    if (!record)
        std::terminate();
    return record;
}

void __cxa_free_dependent_exception(void* record) noexcept { std::free(record); }

}  // extern "C"
