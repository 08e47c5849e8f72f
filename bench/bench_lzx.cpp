// LZX compression speed and ratio on real HTML: one core (intervals one
// after another) and all cores (the section compressor), against zlib's
// deflate at level 6 on the same bytes.
//
// bench_lzx [FILE-OR-FOLDER...]  (default: Python's HTML documentation, or
// the site bench/generate_site.py writes when that is missing)

#include "chm/lzx/LzxEncoder.h"
#include "chm/lzx/LzxSectionCompressor.h"

#include <zlib.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void appendFile(const fs::path& path, std::vector<std::uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    out.insert(out.end(), std::istreambuf_iterator<char>(in), {});
}

// Every .html/.htm file below a folder, in name order, one after another as
// they would sit in a help file's content section.
void appendTree(const fs::path& root, std::vector<std::uint8_t>& out)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && (ext == ".html" || ext == ".htm"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        appendFile(file, out);
}

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU time of the whole process, all threads.
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU time of this thread: the one-core figures stay right on a busy machine.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::uint8_t> data;
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i)
        sources.emplace_back(argv[i]);
    if (sources.empty()) {
        if (fs::is_directory("/usr/share/doc/python3.11/html")) {
            sources.emplace_back("/usr/share/doc/python3.11/html");
        } else {
            const fs::path site = fs::temp_directory_path() / "quorlix-bench-lzx-site";
            const std::string command = std::string("python3 ") + QUORLIX_SOURCE_DIR +
                                        "/bench/generate_site.py '" + site.string() + "' --files 2000";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "bench_lzx: no input (%s failed)\n", command.c_str());
                return 1;
            }
            sources.push_back(site.string());
        }
    }
    for (const auto& source : sources)
        fs::is_directory(source) ? appendTree(source, data) : appendFile(source, data);
    if (data.empty()) {
        std::fprintf(stderr, "bench_lzx: no input\n");
        return 1;
    }
    const double mb = static_cast<double>(data.size()) / 1e6;
    std::printf("input: %.1f MB of HTML\n", mb);

    // One core: the intervals one after another.
    auto start = Clock::now();
    double cpuStart = threadCpuSeconds();
    std::uint64_t serialBytes = 0;
    for (std::size_t at = 0; at < data.size(); at += quorlix::chm::kLzxResetInterval) {
        const std::size_t n = std::min(quorlix::chm::kLzxResetInterval, data.size() - at);
        serialBytes += quorlix::chm::compressLzxInterval(std::span(data).subspan(at, n)).bytes.size();
    }
    const double serialTime = seconds(start);
    const double serialCpu = threadCpuSeconds() - cpuStart;

    // All cores: the section compressor, fed in 16 KiB pieces like files.
    start = Clock::now();
    const double processStart = processCpuSeconds();
    std::uint64_t sunk = 0;
    quorlix::chm::LzxSectionCompressor section([&](std::span<const std::uint8_t> b) { sunk += b.size(); });
    for (std::size_t at = 0; at < data.size(); at += 16384)
        section.write(std::span(data).subspan(at, std::min<std::size_t>(16384, data.size() - at)));
    const auto result = section.finish();
    const double parallelTime = seconds(start);
    const double parallelCpu = processCpuSeconds() - processStart;

    // zlib's deflate at level 6, one stream, one core.
    start = Clock::now();
    cpuStart = threadCpuSeconds();
    uLongf deflated = compressBound(static_cast<uLong>(data.size()));
    std::vector<Bytef> zout(deflated);
    if (compress2(zout.data(), &deflated, data.data(), static_cast<uLong>(data.size()), 6) != Z_OK) {
        std::fprintf(stderr, "bench_lzx: deflate failed\n");
        return 1;
    }
    const double zlibTime = seconds(start);
    const double zlibCpu = threadCpuSeconds() - cpuStart;

    // The same, restarted every 64 KiB as LZX must be: the fair comparison of ratio.
    std::uint64_t deflatedIntervals = 0;
    for (std::size_t at = 0; at < data.size(); at += quorlix::chm::kLzxResetInterval) {
        const std::size_t n = std::min(quorlix::chm::kLzxResetInterval, data.size() - at);
        uLongf size = static_cast<uLongf>(zout.size());
        compress2(zout.data(), &size, data.data() + at, static_cast<uLong>(n), 6);
        deflatedIntervals += size;
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("lzx, 1 core:        %7.3f s  %7.1f MB/s  %10llu bytes  ratio %.3f  (%.1f MB/s of CPU time)\n",
                serialTime, mb / serialTime, static_cast<unsigned long long>(serialBytes),
                static_cast<double>(serialBytes) / data.size(), mb / serialCpu);
    std::printf("lzx, %u cores:       %7.3f s  %7.1f MB/s  %10llu bytes  ratio %.3f  (%.2f s of CPU time in all)\n",
                cores, parallelTime, mb / parallelTime, static_cast<unsigned long long>(result.compressedSize),
                static_cast<double>(result.compressedSize) / data.size(), parallelCpu);
    std::printf("deflate -6, 1 core: %7.3f s  %7.1f MB/s  %10lu bytes  ratio %.3f  (%.1f MB/s of CPU time)\n",
                zlibTime, mb / zlibTime, static_cast<unsigned long>(deflated),
                static_cast<double>(deflated) / data.size(), mb / zlibCpu);
    std::printf("deflate -6, each 64 KiB on its own:               %10llu bytes  ratio %.3f\n",
                static_cast<unsigned long long>(deflatedIntervals), static_cast<double>(deflatedIntervals) / data.size());
    std::printf("lzx size / deflate size: %.3f (one stream), %.3f (64 KiB each)\n",
                static_cast<double>(serialBytes) / deflated, static_cast<double>(serialBytes) / deflatedIntervals);
    return sunk == result.compressedSize ? 0 : 1;
}
