// Licensed under the MIT licence; see LICENSE.
// The update monitor's passes on files this program creates, each against a
// bare baseline in the same run:
//   - a pass over 10,000 unchanged files in 100 directories (smart and source
//     records of 5,000 references) against a bare stat() loop over the same
//     paths; goal: at most 1.5 times the loop; and the same over the 100,000
//     files in 1,000 directories of the stop test; goal: at most 1.25 times;
//   - a pass in which one 256 MiB file changed (one checksum) against a plain
//     read() of that file from the page cache; goal: at least 45% of its
//     throughput. A touched but unchanged file must cost exactly one checksum
//     over all later passes (counted);
//   - stop() during a pass over 100,000 files, 100 tries at random points,
//     against stopping a bare thread that runs the same stat() loop and reads
//     a stop flag under a mutex before each file, at the same points, in
//     turns; goals: the worst stop at most 1.5 times the bare thread's worst,
//     and within 50 ms.
// The ratios of the medians are printed at the end.
//
// The files are made once and kept (in $TMPDIR/talvik-bench-update-monitor,
// each set with a mark written when it is complete), so a later run starts
// at once; remove that folder to make them afresh.
//
// Costs are CPU seconds of the whole process (the monitor's thread and the
// waiting one, which sleeps), set as the benchmarks' manual time: on a
// machine shared with other work the wall clock mostly measures the
// scheduler. Wall-clock figures come along as counters; the stop latency is
// wall-clock by nature, so the load average is reported beside it.
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "model/ksReferencePool.h"
#include "monitor/ksReferenceUpdateMonitor.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t baseTime = 1600000000;
constexpr std::size_t bigFileSize = 256u << 20;

double wallSeconds()
{
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void fail(const char* what)
{
    std::perror(what);
    std::exit(1);
}

void setModified(const std::string& path, std::uint64_t seconds)
{
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        fail("utimensat");
}

void writeFile(const std::string& path, const void* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        fail("open");
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0)
            fail("write");
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// Where the benchmark's files are kept between runs.
std::string keptRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvik-bench-update-monitor";
    if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST)
        fail("mkdir");
    return root;
}

// A folder of files made once: `make` fills it unless the mark of a complete
// earlier run is there (a run stopped halfway leaves no mark, and its files
// are made again).
template <class Make>
std::string keptFolder(const std::string& name, Make make)
{
    const std::string path = keptRoot() + "/" + name;
    const std::string mark = path + "/.complete";
    struct stat info;
    if (::stat(mark.c_str(), &info) == 0)
        return path;
    const std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0 || ::mkdir(path.c_str(), 0755) != 0)
        fail(path.c_str());
    make(path);
    writeFile(mark, "", 0);
    return path;
}

osg::FileReferenceRefPtr makeRecord(const std::string& path, std::uint32_t checksum, std::uint64_t modified)
{
    osg::FileReferenceRefPtr record = osg::FileReference::create();
    record->setPath(path);
    record->setState(ksReferenceTypes::UpToDate);
    record->setChecksum(checksum);
    record->setLastModified(modified);
    return record;
}

// Reference cores whose records name files on disk; the pool learns of them
// through its hooks and forgets them when the scene goes.
class Scene
{
public:
    // `files` small files in `directories` directories, two per reference
    // (smart and source), every record matching its file.
    Scene(int directories, int files)
    {
        const std::string content(64, 'x');
        auto pathOf = [&](const std::string& root, int i, const char* suffix) {
            return root + "/dir" + std::to_string((i / 2) % directories) + "/part" + std::to_string(i) + suffix;
        };
        const std::string root = keptFolder(
            "small-" + std::to_string(directories) + "-" + std::to_string(files), [&](const std::string& made) {
                for (int d = 0; d < directories; ++d)
                    if (::mkdir((made + "/dir" + std::to_string(d)).c_str(), 0755) != 0)
                        fail("mkdir");
                for (int i = 0; i + 1 < files; i += 2)
                    for (const char* suffix : {".zmb", ".stp"}) {
                        const std::string path = pathOf(made, i, suffix);
                        writeFile(path, content.data(), content.size());
                        setModified(path, baseTime);
                    }
            });
        const std::uint32_t sum = ksFile::getDataChecksum(content.data(), content.size());
        for (int i = 0; i + 1 < files; i += 2) {
            const std::string smart = pathOf(root, i, ".zmb"), source = pathOf(root, i, ".stp");
            m_paths.push_back(smart);
            m_paths.push_back(source);
            add(makeRecord(smart, sum, baseTime), makeRecord(source, sum, baseTime));
        }
    }

    // One reference whose smart record names `path`.
    Scene(const std::string& path, std::uint32_t checksum, std::uint64_t modified)
    {
        add(makeRecord(path, checksum, modified), osg::FileReferenceRefPtr());
        m_paths.push_back(path);
    }

    const std::vector<std::string>& paths() const { return m_paths; }

private:
    void add(osg::FileReferenceRefPtr smart, osg::FileReferenceRefPtr source)
    {
        osg::ExtReferenceRefPtr core = osg::ExtReference::create();
        const osg::BitVector mask = osg::ExtReference::SmartFileFieldMask | osg::ExtReference::SourceFileFieldMask;
        osg::beginEditCP(core, mask);
        core->setSmartFile(std::move(smart));
        if (source)
            core->setSourceFile(std::move(source));
        osg::endEditCP(core, mask);
        m_cores.push_back(std::move(core));
    }

    std::vector<std::string> m_paths;
    std::vector<osg::ExtReferenceRefPtr> m_cores;
};

// One scene at a time is pooled, so that each benchmark's passes see only
// its own references.
std::unique_ptr<Scene> g_scene;
std::string g_sceneName;

template <class Make>
Scene& scene(const std::string& name, Make make)
{
    if (g_sceneName != name) {
        g_scene.reset();
        g_scene = make();
        g_sceneName = name;
    }
    return *g_scene;
}

Scene& smallFiles()
{
    return scene("small", [] { return std::make_unique<Scene>(100, 10000); });
}

// Shared with the stop test, which runs right after the passes over it.
Scene& manyFiles()
{
    return scene("many", [] { return std::make_unique<Scene>(1000, 100000); });
}

Scene& filesOf(const benchmark::State& state)
{
    return state.range(0) == 100000 ? manyFiles() : smallFiles();
}

// Waits until the monitor completed a pass after `count`, sleeping so that
// the waiting costs next to no CPU.
void waitForPassAfter(const ksReferenceUpdateMonitor& monitor, std::uint64_t count)
{
    while (monitor.getPassCount() <= count)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
}

void BM_BareStatLoop(benchmark::State& state)
{
    const std::vector<std::string>& paths = filesOf(state).paths();
    double wall = 0;
    for (auto _ : state) {
        const double cpu = processCpuSeconds();
        const double start = wallSeconds();
        struct stat info;
        std::uint64_t sum = 0;
        for (const std::string& path : paths) {
            if (::stat(path.c_str(), &info) == 0)
                sum += static_cast<std::uint64_t>(info.st_mtim.tv_sec);
        }
        benchmark::DoNotOptimize(sum);
        wall += wallSeconds() - start;
        state.SetIterationTime(processCpuSeconds() - cpu);
    }
    state.counters["files"] = static_cast<double>(paths.size());
    state.counters["wall_ms"] = 1e3 * wall / double(state.iterations());
}

// Passes follow each other at once (interval 0); the cost of a pass is the
// CPU time between two pass ends divided by the passes in between, so the
// thread's start does not enter it.
void BM_UnchangedPass(benchmark::State& state)
{
    const std::vector<std::string>& paths = filesOf(state).paths();
    ksReferenceUpdateMonitor monitor;
    monitor.setInterval(0);
    monitor.start();
    waitForPassAfter(monitor, 0);
    double wall = 0;
    std::uint64_t allPasses = 0;
    for (auto _ : state) {
        std::uint64_t first = monitor.getPassCount();
        waitForPassAfter(monitor, first);
        first = monitor.getPassCount();
        const double cpu = processCpuSeconds();
        const double start = wallSeconds();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::uint64_t last = monitor.getPassCount();
        waitForPassAfter(monitor, last);
        const std::uint64_t passes = monitor.getPassCount() - first;
        allPasses += passes;
        wall += wallSeconds() - start;
        state.SetIterationTime((processCpuSeconds() - cpu) / double(passes));
    }
    monitor.stop();
    if (monitor.getChecksumCount() != 0)
        state.SkipWithError("unchanged files were checksummed");
    state.counters["files"] = static_cast<double>(paths.size());
    state.counters["wall_ms"] = 1e3 * wall / double(allPasses);
}

const std::string& bigFile()
{
    static const std::string path = keptFolder("big", [](const std::string& made) {
                                        const std::string file = made + "/big.zmb";
                                        std::vector<char> block(1u << 20);
                                        std::mt19937_64 random(7);
                                        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                                        if (fd < 0)
                                            fail("open");
                                        for (std::size_t done = 0; done < bigFileSize; done += block.size()) {
                                            for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
                                                const std::uint64_t value = random();
                                                std::memcpy(block.data() + i, &value, 8);
                                            }
                                            if (::write(fd, block.data(), block.size())
                                                != static_cast<ssize_t>(block.size()))
                                                fail("write");
                                        }
                                        ::close(fd);
                                    })
                                    + "/big.zmb";
    setModified(path, baseTime);
    return path;
}

void BM_BareReadOfChangedFile(benchmark::State& state)
{
    const std::string& path = bigFile();
    std::unique_ptr<char[]> buffer(new char[ksFile::checksumBufferSize]);
    double wall = 0;
    for (auto _ : state) {
        const double cpu = processCpuSeconds();
        const double start = wallSeconds();
        benchmark::DoNotOptimize(readWholeFile(path, buffer.get(), ksFile::checksumBufferSize));
        wall += wallSeconds() - start;
        state.SetIterationTime(processCpuSeconds() - cpu);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bigFileSize));
    state.counters["wall_ms"] = 1e3 * wall / double(state.iterations());
}

// Each iteration gives the file a new time, so the pass checksums it once
// (its recorded checksum differs: it stays outdated) and nothing else.
void BM_PassWithChangedFile(benchmark::State& state)
{
    const std::string& path = bigFile();
    scene("big", [&] { return std::make_unique<Scene>(path, 1, baseTime); });
    ksReferenceUpdateMonitor monitor;
    monitor.setInterval(3600 * 1000);
    std::uint64_t time = baseTime;
    double wall = 0;
    for (auto _ : state) {
        monitor.stop();
        setModified(path, ++time);
        const std::uint64_t passes = monitor.getPassCount();
        const double cpu = processCpuSeconds();
        const double start = wallSeconds();
        monitor.start();
        waitForPassAfter(monitor, passes);
        wall += wallSeconds() - start;
        state.SetIterationTime(processCpuSeconds() - cpu);
    }
    monitor.stop();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bigFileSize));
    state.counters["checksums_per_pass"] = double(monitor.getChecksumCount()) / double(state.iterations());
    state.counters["wall_ms"] = 1e3 * wall / double(state.iterations());
}

// A touch without a change: ten passes after it, one checksum in all.
void BM_TouchedFileChecksums(benchmark::State& state)
{
    const std::string& path = bigFile();
    setModified(path, baseTime);
    const std::uint32_t sum = ksFile::getChecksum(path);
    scene("touched", [&] { return std::make_unique<Scene>(path, sum, baseTime); });
    ksReferenceUpdateMonitor monitor;
    monitor.setInterval(0);
    std::uint64_t time = baseTime;
    std::uint64_t touches = 0;
    for (auto _ : state) {
        setModified(path, ++time);
        ++touches;
        const std::uint64_t passes = monitor.getPassCount();
        monitor.start();
        waitForPassAfter(monitor, passes + 9);
        monitor.stop();
    }
    state.counters["checksums_per_touch"] = double(monitor.getChecksumCount()) / double(touches);
}

// The baseline of a stop: a thread that runs the same stat() loop over the
// same paths, reads a stop flag under a mutex before each file and then
// waits, as the monitor's thread does; stopping sets the flag, wakes the
// wait and joins.
class BareStatThread
{
public:
    explicit BareStatThread(const std::vector<std::string>& paths) : m_paths(paths) {}

    void start()
    {
        m_stop = false;
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    void run()
    {
        struct stat info;
        std::uint64_t sum = 0;
        for (const std::string& path : m_paths) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_stop)
                    return;
            }
            if (::stat(path.c_str(), &info) == 0)
                sum += static_cast<std::uint64_t>(info.st_mtim.tv_sec);
        }
        benchmark::DoNotOptimize(sum);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_stop; });
    }

    const std::vector<std::string>& m_paths;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

template <class Stoppable>
double stopAfter(Stoppable& target, double delayMs)
{
    target.start();
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delayMs));
    const Clock::time_point start = Clock::now();
    target.stop();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// stop() at a random point of a pass over 100,000 files, and the bare
// thread stopped at the same point, in turns.
void BM_StopDuringPass(benchmark::State& state)
{
    Scene& files = manyFiles();
    ksReferenceUpdateMonitor monitor;
    monitor.setInterval(3600 * 1000);
    BareStatThread bare(files.paths());
    // How long one whole pass takes, to aim the stops inside one.
    monitor.start();
    const Clock::time_point begin = Clock::now();
    waitForPassAfter(monitor, 0);
    const double passMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    monitor.stop();

    std::mt19937 random(1);
    std::uniform_real_distribution<double> delay(0.05 * passMs, 0.9 * passMs);
    std::vector<double> stops, bareStops;
    int insidePass = 0;
    for (auto _ : state) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const double at = delay(random);
            const std::uint64_t passes = monitor.getPassCount();
            stops.push_back(stopAfter(monitor, at));
            if (monitor.getPassCount() == passes)
                ++insidePass;
            bareStops.push_back(stopAfter(bare, at));
        }
    }
    std::sort(stops.begin(), stops.end());
    std::sort(bareStops.begin(), bareStops.end());
    state.counters["files"] = static_cast<double>(files.paths().size());
    state.counters["pass_ms"] = passMs;
    state.counters["stop_median_ms"] = stops[stops.size() / 2];
    state.counters["stop_worst_ms"] = stops.back();
    state.counters["bare_stop_median_ms"] = bareStops[bareStops.size() / 2];
    state.counters["bare_stop_worst_ms"] = bareStops.back();
    state.counters["stops_inside_a_pass"] = insidePass;
    state.counters["load_average"] = loadAverage();
}

// Each size's loop and pass side by side, so that its scene is built once.
BENCHMARK(BM_BareStatLoop)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_UnchangedPass)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_BareReadOfChangedFile)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PassWithChangedFile)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_TouchedFileChecksums)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BareStatLoop)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_UnchangedPass)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_StopDuringPass)->Unit(benchmark::kMillisecond)->Iterations(1);

// Console output plus the ratios of the medians.
void printSummary(const BenchMedians& medians)
{
    for (const auto& [files, goal] : {std::make_pair("10000", 1.5), std::make_pair("100000", 1.25)}) {
        const double stat = medians.real(std::string("BM_BareStatLoop/") + files);
        const double pass = medians.real(std::string("BM_UnchangedPass/") + files);
        if (stat > 0 && pass > 0)
            std::printf("unchanged pass / bare stat loop over %s files, CPU time (medians): %.2fx (goal <= %.2fx)\n",
                        files, pass / stat, goal);
    }
    // Same bytes on both sides: the throughput ratio is the inverse ratio of
    // the times.
    const double read = medians.real("BM_BareReadOfChangedFile");
    const double changed = medians.real("BM_PassWithChangedFile");
    if (read > 0 && changed > 0)
        std::printf("pass with a changed file / bare read, throughput (medians): %.1f%% (goal >= 45%%)\n",
                    100.0 * read / changed);
    const double worst = medians.counter("BM_StopDuringPass", "stop_worst_ms");
    const double bareWorst = medians.counter("BM_StopDuringPass", "bare_stop_worst_ms");
    if (worst > 0 && bareWorst > 0)
        std::printf("stop during a pass / bare thread, worst of 100 (load average %.1f): %.1f ms / %.1f ms = %.2fx "
                    "(goal <= 1.5x, and <= 50 ms); medians %.2f ms / %.2f ms\n",
                    medians.counter("BM_StopDuringPass", "load_average"), worst, bareWorst, worst / bareWorst,
                    medians.counter("BM_StopDuringPass", "stop_median_ms"),
                    medians.counter("BM_StopDuringPass", "bare_stop_median_ms"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ksReferencePool::instance().registerCallbacks();
    // Warm the page cache, so that both sides of the read comparison read
    // from memory.
    ksFile::getChecksum(bigFile());
    const int status = runBenchmarks(argc, argv, printSummary);
    g_scene.reset();
    return status;
}
