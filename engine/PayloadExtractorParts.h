// What the extractor's two sources share: its buffer sizes and the timer of its phases.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr DWORD READ_BUFFER_SIZE = 64 * 1024;
constexpr size_t WRITE_BUFFER_SIZE = 64 * 1024;
constexpr uint32_t PROGRESS_STEP = 256;
constexpr unsigned STORED_UNIT = 32;
// A temporary name "quXXXX.tmp" must fit within MAX_PATH.
constexpr int MAX_TEMP_FOLDER_LENGTH = 246;

// Adds the time from construction to destruction to a counter, when there is one.
class PhaseTimer {
public:
    explicit PhaseTimer(int64_t* pTotal) : m_pTotal(pTotal)
    {
        if (m_pTotal)
            m_start = Now();
    }
    ~PhaseTimer()
    {
        if (m_pTotal)
            *m_pTotal += Now() - m_start;
    }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

private:
    static int64_t Now()
    {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return t.QuadPart;
    }
    int64_t* m_pTotal;
    int64_t m_start = 0;
};
