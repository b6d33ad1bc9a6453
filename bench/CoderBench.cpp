// Speed and ratio of the coder on three kinds of payload: PE binaries, text, already-compressed data.
// Corpus folders can be overridden with QU_BENCH_PE, QU_BENCH_TEXT and QU_BENCH_PACKED (file lists, ':'-separated).
#include "Hash33.h"
#include "LzBufferDecoder.h"
#include "LzDecoder.h"
#include "LzEncoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr size_t CORPUS_LIMIT = 4 << 20;

void Append(Bytes& corpus, const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    corpus.insert(corpus.end(), data.begin(), data.begin() + std::min(data.size(), CORPUS_LIMIT - corpus.size()));
}

std::vector<fs::path> FromEnvironment(const char* name)
{
    std::vector<fs::path> paths;
    if (const char* list = std::getenv(name)) {
        std::string s = list;
        for (size_t start = 0, end; start <= s.size(); start = end + 1) {
            end = s.find(':', start);
            if (end == std::string::npos)
                end = s.size();
            if (end > start)
                paths.emplace_back(s.substr(start, end - start));
        }
    }
    return paths;
}

std::vector<fs::path> Matching(const fs::path& folder, const std::string& suffix, size_t minSize = 0)
{
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 && it->file_size(ec) >= minSize)
            paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<fs::path> DefaultFiles(const std::string& kind)
{
    if (kind == "pe") {
        std::vector<fs::path> paths;
        for (const char* name : {"msvcrt.dll", "comdlg32.dll", "msacm32.dll", "kernelbase.dll", "shlwapi.dll"})
            paths.push_back(fs::path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows") / name);
        for (const fs::path& p : Matching("/usr/x86_64-w64-mingw32/lib", ".dll"))
            paths.push_back(p);
        return paths;
    }
    if (kind == "text") {
        std::vector<fs::path> paths = Matching("/usr/share/common-licenses", "");
        for (const char* folder : {QU_SOURCE_DIR "/engine", QU_SOURCE_DIR "/tools"})
            for (const fs::path& p : Matching(folder, ".cpp"))
                paths.push_back(p);
        return paths;
    }
    return Matching("/usr/share/doc", ".gz", 4096);
}

const Bytes& Corpus(const std::string& kind)
{
    static std::map<std::string, Bytes> corpora;
    auto it = corpora.find(kind);
    if (it != corpora.end())
        return it->second;
    const char* variable = kind == "pe" ? "QU_BENCH_PE" : kind == "text" ? "QU_BENCH_TEXT" : "QU_BENCH_PACKED";
    std::vector<fs::path> files = FromEnvironment(variable);
    if (files.empty())
        files = DefaultFiles(kind);
    Bytes corpus;
    for (const fs::path& p : files) {
        if (corpus.size() >= CORPUS_LIMIT)
            break;
        std::error_code ec;
        if (fs::is_regular_file(p, ec))
            Append(corpus, p);
    }
    return corpora[kind] = corpus;
}

// Size of gzip -9 of the corpus, for context; 0 when gzip is not available.
double GzipSize(const Bytes& data)
{
    const fs::path temporary = fs::temp_directory_path() / "qu_bench_gzip.bin";
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    double size = 0;
    if (FILE* pipe = popen(("gzip -9 -c '" + temporary.string() + "' | wc -c").c_str(), "r")) {
        unsigned long long n = 0;
        if (std::fscanf(pipe, "%llu", &n) == 1)
            size = static_cast<double>(n);
        pclose(pipe);
    }
    fs::remove(temporary);
    return size;
}

void Encode(benchmark::State& state, const std::string& kind)
{
    const Bytes& data = Corpus(kind);
    if (data.empty()) {
        state.SkipWithError("no corpus files");
        return;
    }
    Bytes encoded;
    for (auto _ : state) {
        encoded = LzEncode(data);
        benchmark::DoNotOptimize(encoded.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["input"] = static_cast<double>(data.size());
    state.counters["ratio"] = double(encoded.size()) / double(data.size());
    state.counters["gzip9"] = GzipSize(data) / double(data.size());
}

void Decode(benchmark::State& state, const std::string& kind)
{
    const Bytes& data = Corpus(kind);
    if (data.empty()) {
        state.SkipWithError("no corpus files");
        return;
    }
    const Bytes encoded = LzEncode(data);
    Bytes out;
    for (auto _ : state) {
        LzDecodeBuffer(encoded.data(), encoded.size(), data.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != data)
        state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void DecodeStreaming(benchmark::State& state, const std::string& kind)
{
    const Bytes& data = Corpus(kind);
    if (data.empty()) {
        state.SkipWithError("no corpus files");
        return;
    }
    const Bytes encoded = LzEncode(data);
    for (auto _ : state) {
        LzDecoder decoder;
        size_t next = 0, produced = 0;
        auto source = [&]() -> int { return next < encoded.size() ? encoded[next++] : LZ_SOURCE_END; };
        unsigned char token[LZ_MAX_TOKEN_OUTPUT];
        unsigned length;
        while (produced < data.size() && decoder.DecodeToken(source, token, length) == LzStatus::Ok)
            produced += length;
        benchmark::DoNotOptimize(token);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void Checksum(benchmark::State& state)
{
    const Bytes& data = Corpus("pe");
    uint32_t sum = 0;
    for (auto _ : state) {
        sum += Hash33(data.data(), data.size());
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

}  // namespace

BENCHMARK_CAPTURE(Encode, pe, std::string("pe"))->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(Encode, text, std::string("text"))->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(Encode, packed, std::string("packed"))->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(Decode, pe, std::string("pe"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, text, std::string("text"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, packed, std::string("packed"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeStreaming, pe, std::string("pe"))->Unit(benchmark::kMillisecond);
BENCHMARK(Checksum)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
