// Licensed under the MIT licence; see LICENSE.
// The revision monitor's directory listing against a bare readdir + fnmatch loop and
// against QDir::entryList, on one directory of 10,000 entries (1,000 parts in 10
// revisions each, "part0042_v7.zmb"); then whole passes of findRevisions over it.
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

} // namespace

BENCHMARK(BM_ListingReaddirFnmatch)->ArgName("all")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListingQDirEntryList)->ArgName("all")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListingRevisionMonitor)->ArgName("all")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindRevisionsPass)->Arg(1000)->Unit(benchmark::kMillisecond);
// Each call lists the directory once more here, so a shorter pass says enough.
BENCHMARK(BM_FindRevisionsPassQtListing)->Arg(50)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    directory();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
