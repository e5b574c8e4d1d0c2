// Licensed under the MIT licence; see LICENSE.
// The revision monitor's directory listing against a bare readdir + fnmatch loop and
// against QDir::entryList, on one directory of 10,000 entries (1,000 parts in 10
// revisions each, "part0042_v7.zmb"); then whole passes of findRevisions over it,
// against the same passes listing through QDir::entryList. Runs take turns, and
// the ratios of the medians are printed at the end (goal: a listing at most 1.2x
// the bare loop).
#include "BenchSupport.h"
#include "monitor/ksDirectoryListing.h"
#include "monitor/ksRevisionMonitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <type_traits>

namespace {

constexpr int kParts = 1000;
constexpr int kRevisions = 10;
constexpr int kEntries = kParts * kRevisions;

QString partName(int part, int revision)
{
    return QString("part%1_v%2.zmb").arg(part, 4, 10, QChar('0')).arg(revision);
}

const QString& directory()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        auto made = std::make_unique<QTemporaryDir>();
        for (int part = 0; part < kParts; ++part) {
            for (int revision = 1; revision <= kRevisions; ++revision) {
                const QByteArray file = QFile::encodeName(made->filePath(partName(part, revision)));
                ::close(::open(file.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            }
        }
        return made;
    }();
    static const QString path = dir->path();
    return path;
}

// The pattern that findRevisions asks for one part, or every name.
QString patternFor(const benchmark::State& state)
{
    return state.range(0) == 0 ? QStringLiteral("part0042_v*.zmb") : QStringLiteral("*");
}

class Lister : public ksRevisionMonitor
{
public:
    using ksRevisionMonitor::getDirEntries;
};

void BM_ListingReaddirFnmatch(benchmark::State& state)
{
    const QByteArray dir = QFile::encodeName(directory());
    const QByteArray pattern = patternFor(state).toLatin1();
    for (auto _ : state) {
        DIR* handle = ::opendir(dir.constData());
        int found = 0;
        while (const dirent* entry = ::readdir(handle)) {
            if (entry->d_name[0] != '.' && ::fnmatch(pattern.constData(), entry->d_name, FNM_CASEFOLD) == 0)
                ++found;
        }
        ::closedir(handle);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ListingQDirEntryList(benchmark::State& state)
{
    const QString pattern = patternFor(state);
    for (auto _ : state) {
        QStringList names = QDir(directory()).entryList(QStringList{pattern}, QDir::NoFilter, QDir::NoSort);
        benchmark::DoNotOptimize(names);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ListingRevisionMonitor(benchmark::State& state)
{
    const QString pattern = patternFor(state);
    Lister lister;
    for (auto _ : state) {
        ksRevisionMonitor::clearCache();
        QSet<QString> names = lister.getDirEntries(directory(), pattern);
        benchmark::DoNotOptimize(names);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

// The straightforward listing: QDir::entryList for every (directory, pattern) pair.
class QtListingMonitor : public ksRevisionMonitor
{
protected:
    QSet<QString> getDirEntries(const QString& dir, const QString& filter) override
    {
        const QString key = QDir(dir).absoluteFilePath(filter);
        auto cached = m_listed.constFind(key);
        if (cached != m_listed.constEnd())
            return *cached;
        ++m_reads;
        const QStringList names = QDir(dir).entryList(QStringList{filter}, QDir::NoFilter, QDir::NoSort);
        return *m_listed.insert(key, QSet<QString>(names.begin(), names.end()));
    }

public:
    QHash<QString, QSet<QString>> m_listed;
    std::uint64_t m_reads = 0;
};

// One update pass: one clearCache, then findRevisions for the first revision of each
// of range(0) parts.
template <class Monitor>
void runPass(benchmark::State& state)
{
    const int calls = int(state.range(0));
    QStringList paths;
    for (int part = 0; part < calls; ++part)
        paths.append(QDir(directory()).filePath(partName(part, 1)));
    Monitor monitor;
    monitor.setExpressions({"_v(\\d+)"});

    constexpr bool qtListing = std::is_same_v<Monitor, QtListingMonitor>;
    auto reads = [&] {
        if constexpr (qtListing)
            return monitor.m_reads;
        else
            return ksDirectoryListing::threadReadCount();
    };
    const std::uint64_t readsBefore = reads();
    int revisions = 0;
    for (auto _ : state) {
        ksRevisionMonitor::clearCache();
        if constexpr (qtListing)
            monitor.m_listed.clear();
        for (const QString& path : qAsConst(paths))
            revisions += monitor.findRevisions(path).size();
    }
    if (revisions != int(state.iterations()) * calls * kRevisions)
        state.SkipWithError("wrong number of revisions found");
    state.counters["reads_per_pass"] =
        double(reads() - readsBefore) / double(state.iterations());
    state.counters["per_call"] = benchmark::Counter(double(calls), benchmark::Counter::kIsIterationInvariantRate
                                                                       | benchmark::Counter::kInvert);
}

void BM_FindRevisionsPass(benchmark::State& state) { runPass<ksRevisionMonitor>(state); }
void BM_FindRevisionsPassQtListing(benchmark::State& state) { runPass<QtListingMonitor>(state); }


// Fixed counts: on a busy machine the default (half a second of CPU time per
// run) takes minutes of wall-clock time.
#define LISTING_BENCHMARK(name)                                                                                    \
    BENCHMARK(name)->ArgName("all")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(20)->Repetitions(5)     \
        ->ReportAggregatesOnly(true)
LISTING_BENCHMARK(BM_ListingReaddirFnmatch);
LISTING_BENCHMARK(BM_ListingQDirEntryList);
LISTING_BENCHMARK(BM_ListingRevisionMonitor);
// A pass lists the directory once per part (a new pattern each time), about
// four seconds here: three passes in three repetitions say enough.
BENCHMARK(BM_FindRevisionsPass)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true);
// Each call lists the directory once more here, so a shorter pass says enough.
BENCHMARK(BM_FindRevisionsPassQtListing)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void printSummary(const BenchMedians& medians)
{
    for (const char* pattern : {"0", "1"}) {
        const std::string suffix = std::string("/all:") + pattern;
        const double bare = medians.cpu("BM_ListingReaddirFnmatch" + suffix);
        const double ours = medians.cpu("BM_ListingRevisionMonitor" + suffix);
        const double qt = medians.cpu("BM_ListingQDirEntryList" + suffix);
        if (bare > 0 && ours > 0 && qt > 0)
            std::printf("listing %s / readdir + fnmatch (CPU medians): revision monitor %.2fx (goal <= 1.2x), "
                        "QDir::entryList %.2fx\n",
                        *pattern == '0' ? "one part's revisions" : "every name", ours / bare, qt / bare);
    }
    // Per findRevisions call: the passes differ in length.
    const double pass = medians.cpu("BM_FindRevisionsPass/1000") / 1000;
    const double qtPass = medians.cpu("BM_FindRevisionsPassQtListing/50") / 50;
    if (pass > 0 && qtPass > 0)
        std::printf("findRevisions per call (CPU medians): %.2f us, with QDir listings %.2f us (%.1fx)\n", pass * 1e3,
                    qtPass * 1e3, qtPass / pass);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    directory();
    return runBenchmarks(argc, argv, printSummary, true);
}
