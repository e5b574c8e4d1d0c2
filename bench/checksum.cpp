// Licensed under the MIT licence; see LICENSE.
// Throughput of ksFile::getChecksum on a 256 MiB file in the page cache,
// against a bare read() of the same file with the same buffer size. The
// checksum reads and hashes in one pass on one thread, so a bare read is
// its ceiling; the ratio of the medians is printed at the end.
#include "BenchSupport.h"
#include "utils/ksFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t fileSize = 256u << 20;

class TestFile
{
public:
    TestFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        m_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvik_bench_checksum_XXXXXX";
        const int fd = ::mkstemp(m_path.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::exit(1);
        }
        std::vector<char> block(1u << 20);
        std::mt19937_64 random(42);
        for (std::size_t done = 0; done < fileSize; done += block.size()) {
            for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
                const std::uint64_t value = random();
                std::memcpy(block.data() + i, &value, 8);
            }
            if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
                std::perror("write");
                std::exit(1);
            }
        }
        ::close(fd);
    }
    ~TestFile() { ::unlink(m_path.c_str()); }

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

const TestFile& testFile()
{
    static TestFile file;
    return file;
}

void BM_BareRead(benchmark::State& state)
{
    const std::string& path = testFile().path();
    std::unique_ptr<char[]> buffer(new char[ksFile::checksumBufferSize]);
    for (auto _ : state)
        benchmark::DoNotOptimize(readWholeFile(path, buffer.get(), ksFile::checksumBufferSize));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize));
}

void BM_Checksum(benchmark::State& state)
{
    const std::string& path = testFile().path();
    for (auto _ : state)
        benchmark::DoNotOptimize(ksFile::getChecksum(path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize));
}

BENCHMARK(BM_BareRead)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Checksum)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Console output plus the ratio of the median throughputs.
void printSummary(const BenchMedians& medians)
{
    const double read = medians.counter("BM_BareRead", "bytes_per_second");
    const double checksum = medians.counter("BM_Checksum", "bytes_per_second");
    if (read > 0 && checksum > 0)
        std::printf("checksum / bare read (medians): %.1f%% (%.2f GB/s of %.2f GB/s)\n", 100.0 * checksum / read,
                    checksum / 1e9, read / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    testFile();
    // Warm the page cache, so that both sides read from memory.
    ksFile::getChecksum(testFile().path());
    return runBenchmarks(argc, argv, printSummary);
}
