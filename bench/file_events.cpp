// Licensed under the MIT licence; see LICENSE.
// How soon the update monitor reports a change on disk: the time from the
// change to its referencesUpdated signal on the main thread, over 200 changes
// among 10,000 watched files (100 folders), with file events and with polling
// alone at the default interval of 5,000 ms. The changes take turns: content
// written, file deleted, a new file renamed into place, a newer revision
// created beside the file (revision checks are on). Goals with events: median
// under 20 ms, 99th percentile under 100 ms.
//
// Also the process's CPU time per idle minute (the monitor running, nothing
// changing, measured over two whole passes) in both modes: events must
// cost no more than polling alone.
//
// The latencies are wall-clock by nature; the load average is printed with
// them. Polling's changes are spread over four intervals and measured
// together, so that its run takes half a minute rather than 200 intervals.
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "model/ksReferencePool.h"
#include "monitor/ksReferenceUpdateMonitor.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Folders = 100;
constexpr int Files = 10000;
constexpr int Changes = 200;
constexpr int DefaultInterval = 5000;
constexpr std::uint64_t BaseTime = 1600000000;

void fail(const char* what)
{
    std::perror(what);
    std::exit(1);
}

void writeFile(const std::string& path, const std::string& content, std::uint64_t modified)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != ssize_t(content.size()))
        fail("write");
    const struct timespec times[2] = {{time_t(modified), 0}, {time_t(modified), 0}};
    if (::futimens(fd, times) != 0)
        fail("futimens");
    ::close(fd);
}

// 10,000 reference cores, each a smart record of one file "partN_v1.zmb";
// the pool learns of them through its hooks.
class Scene
{
public:
    Scene()
    {
        const char* tmp = std::getenv("TMPDIR");
        m_dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvik_bench_events_XXXXXX";
        if (!::mkdtemp(m_dir.data()))
            fail("mkdtemp");
        for (int d = 0; d < Folders; ++d) {
            if (::mkdir(folder(d).c_str(), 0755) != 0)
                fail("mkdir");
        }
        const std::string content(64, 'x');
        const std::uint32_t sum = ksFile::getDataChecksum(content.data(), content.size());
        for (int i = 0; i < Files; ++i) {
            writeFile(path(i), content, BaseTime);
            osg::FileReferenceRefPtr record = osg::FileReference::create();
            record->setPath(path(i));
            record->setState(ksReferenceTypes::UpToDate);
            record->setChecksum(sum);
            record->setLastModified(BaseTime);
            osg::ExtReferenceRefPtr core = osg::ExtReference::create();
            osg::beginEditCP(core, osg::ExtReference::SmartFileFieldMask);
            core->setSmartFile(std::move(record));
            osg::endEditCP(core, osg::ExtReference::SmartFileFieldMask);
            m_ids.push_back(core.getFieldContainerId());
            m_cores.push_back(std::move(core));
        }
    }
    ~Scene()
    {
        m_cores.clear();
        if (std::system(("rm -rf '" + m_dir + "'").c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", m_dir.c_str());
    }

    std::string folder(int d) const { return m_dir + "/dir" + std::to_string(d); }
    std::string path(int i, int revision = 1) const
    {
        return folder(i % Folders) + "/part" + std::to_string(i) + "_v" + std::to_string(revision) + ".zmb";
    }
    std::uint32_t id(int i) const { return m_ids[std::size_t(i)]; }

    // The k-th kind of change, on file i; every kind changes the file's state.
    void change(int i, int kind)
    {
        const std::uint64_t later = BaseTime + 100 + std::uint64_t(i);
        switch (kind % 4) {
        case 0:
            writeFile(path(i), std::string(64, 'y'), later);
            break;
        case 1:
            if (::unlink(path(i).c_str()) != 0)
                fail("unlink");
            break;
        case 2:
            writeFile(path(i) + ".part", std::string(64, 'z'), later);
            if (::rename((path(i) + ".part").c_str(), path(i).c_str()) != 0)
                fail("rename");
            break;
        default:
            writeFile(path(i, 2), std::string(64, 'x'), BaseTime);
            break;
        }
    }

private:
    std::string m_dir;
    std::vector<std::uint32_t> m_ids;
    std::vector<osg::ExtReferenceRefPtr> m_cores;
};

struct Figures
{
    double medianMs = 0;
    double p99Ms = 0;
    double idleCpuPerMinute = 0;
};
std::map<std::string, Figures> g_figures;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// Runs the event loop for `ms` milliseconds, blocked in its wait, not spinning.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void measure(benchmark::State& state, bool events)
{
    for (auto _ : state) {
        Scene scene;
        std::map<std::uint32_t, Clock::time_point> reportedAt;
        ksReferenceUpdateMonitor monitor;
        monitor.setInterval(DefaultInterval);
        monitor.setRevisionExpressions({"_v(\\d+)"});
        monitor.setRevisionCheckEnabled(true);
        monitor.setFileEventsEnabled(events);
        QEventLoop* waiting = nullptr;
        std::uint32_t awaited = 0;
        QObject::connect(&monitor, &ksReferenceUpdateMonitor::referencesUpdated, [&](const QList<uint>& ids) {
            const Clock::time_point now = Clock::now();
            for (uint id : ids)
                reportedAt.emplace(id, now);
            if (waiting && reportedAt.count(awaited))
                waiting->quit();
        });
        monitor.start();
        while (monitor.getPassCount() < 1)
            runEventLoop(10);

        // Idle first: the same scene, nothing changing, over whole passes
        // (from the end of one to the end of the second after it), so that
        // both modes are measured over as many full passes.
        const int idlePasses = 2;
        const std::uint64_t firstPass = monitor.getPassCount() + 1;
        while (monitor.getPassCount() < firstPass)
            runEventLoop(20);
        const std::uint64_t checksBefore = monitor.getEventPassCount();
        const double cpuBefore = processCpuSeconds();
        const Clock::time_point idleStart = Clock::now();
        while (monitor.getPassCount() < firstPass + idlePasses)
            runEventLoop(20);
        const double idleCpu = processCpuSeconds() - cpuBefore;
        const double idleMs = std::chrono::duration<double, std::milli>(Clock::now() - idleStart).count();
        state.counters["idle_event_checks"] = double(monitor.getEventPassCount() - checksBefore);

        std::mt19937 random(42);
        std::vector<int> order(Files);
        for (int i = 0; i < Files; ++i)
            order[std::size_t(i)] = i;
        std::shuffle(order.begin(), order.end(), random);
        std::vector<double> latencies;
        std::vector<std::pair<int, Clock::time_point>> made;
        if (events) {
            // One change at a time, each waited for (10 s at most).
            for (int k = 0; k < Changes; ++k) {
                const int i = order[std::size_t(k)];
                awaited = scene.id(i);
                QEventLoop loop;
                waiting = &loop;
                QTimer::singleShot(10000, &loop, &QEventLoop::quit);
                const Clock::time_point at = Clock::now();
                scene.change(i, k);
                made.emplace_back(i, at);
                if (!reportedAt.count(awaited))
                    loop.exec();
                waiting = nullptr;
                runEventLoop(5);
            }
        } else {
            // Spread over four intervals at random moments (a change's wait
            // for the next pass is uniform either way), then one more interval
            // for the last of them to be seen.
            std::uniform_int_distribution<int> moment(0, 4 * DefaultInterval);
            std::vector<std::pair<int, int>> schedule;
            for (int k = 0; k < Changes; ++k)
                schedule.emplace_back(moment(random), k);
            std::sort(schedule.begin(), schedule.end());
            const Clock::time_point start = Clock::now();
            for (const auto& [offset, k] : schedule) {
                const Clock::time_point when = start + std::chrono::milliseconds(offset);
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
                if (wait.count() > 0)
                    runEventLoop(int(wait.count()));
                const int i = order[std::size_t(k)];
                made.emplace_back(i, Clock::now());
                scene.change(i, k);
            }
            runEventLoop(DefaultInterval + 2000);
        }
        monitor.stop();
        QCoreApplication::sendPostedEvents();
        int unseen = 0;
        for (const auto& [i, at] : made) {
            const auto seen = reportedAt.find(scene.id(i));
            if (seen == reportedAt.end()) {
                ++unseen;
                continue;
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(seen->second - at).count());
        }
        if (latencies.empty()) {
            state.SkipWithError("no change was reported");
            return;
        }
        Figures& figures = g_figures[events ? "events" : "polling"];
        figures.medianMs = percentile(latencies, 0.5);
        figures.p99Ms = percentile(latencies, 0.99);
        figures.idleCpuPerMinute = idleCpu * 60000.0 / idleMs;
        state.SetIterationTime(figures.medianMs / 1000.0);
        state.counters["median_ms"] = figures.medianMs;
        state.counters["p99_ms"] = figures.p99Ms;
        state.counters["unseen"] = unseen;
        state.counters["idle_cpu_s_per_min"] = figures.idleCpuPerMinute;
        state.counters["load"] = loadAverage();
    }
}

void BM_ChangeToSignalWithEvents(benchmark::State& state)
{
    measure(state, true);
}
BENCHMARK(BM_ChangeToSignalWithEvents)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChangeToSignalPollingOnly(benchmark::State& state)
{
    measure(state, false);
}
BENCHMARK(BM_ChangeToSignalPollingOnly)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ksReferencePool::instance().registerCallbacks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto events = g_figures.find("events");
    const auto polling = g_figures.find("polling");
    if (events != g_figures.end())
        std::printf("with events: median %.1f ms (goal < 20), p99 %.1f ms (goal < 100), idle CPU %.3f s/min\n",
                    events->second.medianMs, events->second.p99Ms, events->second.idleCpuPerMinute);
    if (polling != g_figures.end())
        std::printf("polling alone: median %.1f ms, p99 %.1f ms, idle CPU %.3f s/min\n", polling->second.medianMs,
                    polling->second.p99Ms, polling->second.idleCpuPerMinute);
    if (events != g_figures.end() && polling != g_figures.end() && polling->second.idleCpuPerMinute > 0)
        std::printf("idle CPU, events / polling alone: %.2f (goal <= 1)\n",
                    events->second.idleCpuPerMinute / polling->second.idleCpuPerMinute);
    return 0;
}
