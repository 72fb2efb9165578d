// Times Vandrel's SHA-256 on one core: natively against `openssl speed -evp
// sha256` on the same machine in the same run (target: 90% of its speed or
// more); in the Windows build, under Wine, against 1 GB/s. Warms up once, then
// interleaves the runs and prints the best and the median of each.
//
// `openssl speed` divides by the CPU time its process spent, not by the clock,
// so that other programs on a busy machine do not count; the hash here is
// timed the same way, by its thread's CPU time, with the clock's figures
// printed beside it.
//
// Usage: sha256_bench [MEBIBYTES [RUNS]]   (defaults: 1024 5)

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sha256.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;

struct Rates {
    std::vector<double> gigabytesPerSecond;

    double best() const { return *std::max_element(gigabytesPerSecond.begin(), gigabytesPerSecond.end()); }
    double median() const
    {
        std::vector<double> sorted = gigabytesPerSecond;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// Seconds of CPU time this thread has spent.
double ThreadCpuSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
#endif
}

// Hashes `memory` through Sha256 a chunk at a time, as a job does, and adds
// its rate by CPU time to `cpu` and by the clock to `wall`.
void TimeHash(const std::vector<std::uint8_t>& memory, Rates& cpu, Rates& wall)
{
    Sha256 hash;
    const double cpuStart = ThreadCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < memory.size(); at += kChunk)
        hash.add(memory.data() + at, std::min(kChunk, memory.size() - at));
    hash.finish();
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpuSeconds = ThreadCpuSeconds() - cpuStart;
    const double bytes = static_cast<double>(memory.size());
    cpu.gigabytesPerSecond.push_back(bytes / cpuSeconds / 1e9);
    wall.gigabytesPerSecond.push_back(bytes / wallSeconds / 1e9);
}

#ifndef _WIN32
// One run of `openssl speed` on 1 MiB blocks, as GB/s; 0 if it could not run.
// Its line "sha256   1429430.03k" counts thousands of bytes a second.
double OpensslRate()
{
    FILE* output = popen("openssl speed -evp sha256 -seconds 3 -bytes 1048576 2>/dev/null", "r");
    if (!output)
        return 0;
    char line[512];
    double thousands = 0;
    while (std::fgets(line, sizeof line, output))
        if (std::strncmp(line, "sha256 ", 7) == 0)
            thousands = std::strtod(line + 7, nullptr);
    pclose(output);
    return thousands * 1e3 / 1e9;
}
#endif

void PrintRates(const char* name, const Rates& rates)
{
    std::printf("%-40s best %6.3f  median %6.3f GB/s\n", name, rates.best(), rates.median());
}

}  // namespace

int main(int argc, char** argv)
{
    const long mebibytes = argc > 1 ? std::atol(argv[1]) : 1024;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (mebibytes <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: sha256_bench [MEBIBYTES [RUNS]]\n");
        return 2;
    }
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(mebibytes) << 20);
    std::uint32_t state = 2463534242u;
    for (std::uint8_t& byte : memory) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    std::printf("SHA-256 of %ld MiB in 1 MiB chunks, one thread, %d runs interleaved after a warm-up\n", mebibytes,
                runs);

    Rates cpu;
    Rates wall;
    Rates warmUp;
    TimeHash(memory, warmUp, warmUp);
#ifdef _WIN32
    for (int run = 0; run < runs; ++run)
        TimeHash(memory, cpu, wall);
    PrintRates("Vandrel Sha256, by CPU time", cpu);
    PrintRates("Vandrel Sha256, by the clock", wall);
    constexpr double kTarget = 1.0;
    std::printf("target: median by CPU time >= %.1f GB/s: %s\n", kTarget, cpu.median() >= kTarget ? "met" : "MISSED");
#else
    Rates openssl;
    if (OpensslRate() <= 0) {
        std::fprintf(stderr, "sha256_bench: `openssl speed` did not run\n");
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        TimeHash(memory, cpu, wall);
        openssl.gigabytesPerSecond.push_back(OpensslRate());
    }
    PrintRates("Vandrel Sha256, by CPU time", cpu);
    PrintRates("Vandrel Sha256, by the clock", wall);
    PrintRates("openssl speed -evp sha256, by CPU time", openssl);
    const double medianRatio = cpu.median() / openssl.median();
    std::printf("ratio by CPU time: best %.1f%%  median %.1f%%\n", cpu.best() / openssl.best() * 100, medianRatio * 100);
    std::printf("target: median ratio >= 90%%: %s\n", medianRatio >= 0.9 ? "met" : "MISSED");
#endif
    return 0;
}
