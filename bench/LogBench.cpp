// Uninstall log benchmarks: reading a large log, and merging an update's records with the previous
// installation's, counting how often the (expensive, shell-based) path comparison would be asked.
#include "LogRecords.h"
#include "UninstallLogFormat.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <string>

namespace {

std::string FilePath(int i) { return "C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Data\\file" + std::to_string(i) + ".dat"; }

std::string LogImage(int records)
{
    std::string image;
    for (const std::string& line : FormatHeaderLines("Sarventa 5.23i", "", "C:\\Program Files\\Quillon & Partners\\Sarventa 5",
                                                     "C:\\ProgramData\\Start Menu\\Sarventa 5"))
        image += line;
    for (int i = 0; i < records; ++i)
        image += FormatRecordLine(i, LR_FILE, 0, true, FilePath(i));
    return image;
}

void ReadLog(benchmark::State& state)
{
    const std::string image = LogImage(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        UninstallLogReader reader([](const std::string&) { return false; });
        ReadUninstallLog(reader, image);
        benchmark::DoNotOptimize(reader.GetRecords().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
}

void AppendFiles(LOG_RECORD*& first, LOG_RECORD*& last, int from, int to, bool upperCase)
{
    for (int i = from; i < to; ++i) {
        auto* record = new LOG_RECORD;
        record->nKind = LR_FILE;
        record->nCode = 0;
        record->bDone = 1;
        record->strPath = FilePath(i);
        if (upperCase)
            for (char& c : record->strPath)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        AppendRecord(first, last, record);
    }
}

// An update: the new version writes most of the old files again, drops a tenth of them and adds new ones.
// range(1) = 1: the new run spells every path in upper case, so no path matches as a string.
void MergeUpdate(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const bool upperCase = state.range(1) != 0;
    int64_t comparisons = 0;
    const SamePathTest samePath = [&comparisons](const std::string& a, const std::string& b) {
        ++comparisons;
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    };
    const PathKey key = [](const std::string& path) {
        std::string k = path;
        for (char& c : k)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return k;
    };
    for (auto _ : state) {
        state.PauseTiming();
        LOG_RECORD *oldFirst = nullptr, *oldLast = nullptr, *first = nullptr, *last = nullptr;
        AppendFiles(oldFirst, oldLast, 0, count, false);
        AppendFiles(first, last, count / 10, count + count / 10, upperCase);
        state.ResumeTiming();
        MergeLogRecords(oldFirst, oldLast, first, last, samePath, key);
        state.PauseTiming();
        FreeRecords(first, last);
        state.ResumeTiming();
    }
    state.counters["records"] = static_cast<double>(count);
    state.counters["compares/merge"] =
        static_cast<double>(comparisons) / static_cast<double>(state.iterations() ? state.iterations() : 1);
}

}  // namespace

BENCHMARK(ReadLog)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeUpdate)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond);
