// Licensed under the MIT licence; see LICENSE.
#pragma once

// What every benchmark program here shares: it runs the benchmarks named on
// the command line, keeps the median of each, and prints its ratios against
// the baseline measured in the same run after the console table.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

class BenchMedians
{
public:
    // Keys are "BM_Name" or, for benchmarks with arguments, "BM_Name/args".
    // A benchmark that did not run (filtered out) gives 0.
    double real(const std::string& key) const { return find(m_real, key); }
    double cpu(const std::string& key) const { return find(m_cpu, key); }
    double counter(const std::string& key, const std::string& name) const
    {
        return find(m_counters, key + "#" + name);
    }

    void add(const benchmark::BenchmarkReporter::Run& run)
    {
        const std::string key =
            run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
        m_real[key] = run.GetAdjustedRealTime();
        m_cpu[key] = run.GetAdjustedCPUTime();
        for (const auto& [name, value] : run.counters)
            m_counters[key + "#" + name] = value.value;
    }

private:
    static double find(const std::map<std::string, double>& map, const std::string& key)
    {
        const auto it = map.find(key);
        return it == map.end() ? 0 : it->second;
    }

    std::map<std::string, double> m_real;
    std::map<std::string, double> m_cpu;
    std::map<std::string, double> m_counters;
};

// Prints the console table, then `summary` with the medians.
class BenchRatioReporter : public benchmark::ConsoleReporter
{
public:
    explicit BenchRatioReporter(std::function<void(const BenchMedians&)> summary) : m_summary(std::move(summary)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // A benchmark run once has no aggregates: its one run stands for them.
        for (const Run& run : runs)
            if (run.aggregate_name == "median" || (run.aggregate_name.empty() && run.repetitions <= 1))
                m_medians.add(run);
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (m_summary)
            m_summary(m_medians);
    }

private:
    std::function<void(const BenchMedians&)> m_summary;
    BenchMedians m_medians;
};

// With `interleave`, the benchmarks take turns, so that a busy machine slows
// the baseline and the measured side alike; a flag given on the command line
// still wins. Returns main's exit status.
inline int runBenchmarks(int argc, char** argv, std::function<void(const BenchMedians&)> summary,
                         bool interleave = false)
{
    std::vector<char*> args(argv, argv + argc);
    char interleaveFlag[] = "--benchmark_enable_random_interleaving=true";
    if (interleave)
        args.insert(args.begin() + 1, interleaveFlag);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    BenchRatioReporter reporter(std::move(summary));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// Runs that must start cold (a query or an export runs now and then, long
// after its data was last touched) push the caches out first, untimed.
inline void evictCaches(benchmark::State& state)
{
    static std::vector<char> buffer(std::size_t(256) << 20);
    state.PauseTiming();
    for (std::size_t i = 0; i < buffer.size(); i += 64)
        buffer[i] = char(buffer[i] + 1);
    benchmark::ClobberMemory();
    state.ResumeTiming();
}

// The bare baseline of reading a file: read() into `buffer` block by block
// (the caller keeps the buffer, so that no run pays for fresh pages).
// Returns the bytes read.
inline std::size_t readWholeFile(const std::string& path, char* buffer, std::size_t bufferSize)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t total = 0;
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buffer, bufferSize)) > 0)
        total += static_cast<std::size_t>(n);
    if (fd >= 0)
        ::close(fd);
    return total;
}

// The process's CPU time, all threads, in seconds.
inline double processCpuSeconds()
{
    struct timespec now;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The one-minute load average, printed beside wall-clock figures.
inline double loadAverage()
{
    double load = 0;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1)
            load = 0;
        std::fclose(file);
    }
    return load;
}
