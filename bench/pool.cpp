// Licensed under the MIT licence; see LICENSE.
// The reference pool's costs, each against a baseline in the same run:
//
// - creating and destroying 100,000 reference cores with the pool's hooks
//   installed, against as many plain Transform3D cores (goal: within 3x per
//   core);
// - getExtReferences, getFileSuffixes and getStatusSnapshot (as it is handed
//   out again, and built afresh after a change) over 10,000 and 100,000
//   pooled cores in the live scene: the pool never walks the scene, so the
//   time grows with the cores at most (goal: 10x the cores, at most 12x the
//   time; the suffixes are counted as paths come and go, so that query does
//   not grow at all). The sizes run one after the other, each in a fresh
//   scene: taking turns would build the small scene among the freed memory
//   of the large one, and measure that layout instead of the pool.
//
// Ratios of the medians (CPU time) are printed at the end.
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "model/ksReferencePool.h"
#include "scene/ksScenegraph.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace osg;

namespace {

constexpr int CreatedCores = 100000;

template <class Core> void createAndDestroy(benchmark::State& state)
{
    std::vector<RefPtr<Core>> cores;
    cores.reserve(CreatedCores);
    for (auto _ : state) {
        for (int i = 0; i < CreatedCores; ++i)
            cores.push_back(Core::create());
        cores.clear();
    }
    state.SetItemsProcessed(state.iterations() * CreatedCores);
}

void BM_CreateDestroyTransform3D(benchmark::State& state)
{
    createAndDestroy<Transform3D>(state);
}

void BM_CreateDestroyReference(benchmark::State& state)
{
    ksReferencePool::instance().registerCallbacks();
    createAndDestroy<ExtReference>(state);
    if (!ksReferencePool::instance().isEmpty())
        state.SkipWithError("the pool kept cores that are gone");
}

BENCHMARK(BM_CreateDestroyTransform3D)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CreateDestroyReference)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The live root with `count` reference nodes below it, each with a smart and
// a source record (a handful of suffixes in all).
class PooledScene
{
public:
    explicit PooledScene(int count)
    {
        ksReferencePool::instance().registerCallbacks();
        static const char* const suffixes[] = {"stp", "jt", "CATProduct", "igs", "prt"};
        const NodePtr root = ksScenegraph::getRoot();
        for (int i = 0; i < count; ++i) {
            const std::string name = "/data/project/part" + std::to_string(i);
            FileReferenceRefPtr smart = FileReference::create();
            smart->setPath(name + (i % 2 ? ".zmb" : ".osb"));
            FileReferenceRefPtr source = FileReference::create();
            source->setPath(name + "." + suffixes[i % 5]);
            ExtReferenceRefPtr core = ExtReference::create();
            beginEditCP(core.get());
            core->setSmartFile(smart);
            core->setSourceFile(source);
            endEditCP(core.get());
            NodeRefPtr node = Node::create();
            node->setCore(core);
            root->addChild(node);
        }
    }
    ~PooledScene()
    {
        const NodePtr root = ksScenegraph::getRoot();
        while (root->getNChildren() > 0)
            root->subChild(root->getNChildren() - 1);
    }
};

void BM_GetExtReferences(benchmark::State& state)
{
    PooledScene scene(int(state.range(0)));
    for (auto _ : state) {
        evictCaches(state);
        QList<ExtReferencePtr> cores = ksReferencePool::instance().getExtReferences();
        // Freeing the list is the caller's business, and not timed.
        state.PauseTiming();
        if (cores.size() != state.range(0))
            state.SkipWithError("not every core was listed");
        benchmark::DoNotOptimize(cores);
        cores = QList<ExtReferencePtr>();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_GetFileSuffixes(benchmark::State& state)
{
    PooledScene scene(int(state.range(0)));
    for (auto _ : state) {
        evictCaches(state);
        const QStringList suffixes = ksReferencePool::instance().getFileSuffixes();
        if (suffixes.size() != 7)
            state.SkipWithError("wrong suffixes");
        benchmark::DoNotOptimize(suffixes);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Between changes of the pool every caller gets the table built last
// (argument 0); after a core came and went (1) it is built afresh.
void statusSnapshot(benchmark::State& state, bool afterChange)
{
    PooledScene scene(int(state.range(0)));
    ksReferencePool::instance().getStatusSnapshot();
    for (auto _ : state) {
        if (afterChange) {
            state.PauseTiming();
            ExtReference::create();
            state.ResumeTiming();
        }
        evictCaches(state);
        const ksStatusSnapshot snapshot = ksReferencePool::instance().getStatusSnapshot();
        if (snapshot.size() != state.range(0))
            state.SkipWithError("wrong snapshot");
        benchmark::DoNotOptimize(snapshot);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_GetStatusSnapshot(benchmark::State& state) { statusSnapshot(state, false); }
void BM_GetStatusSnapshotAfterChange(benchmark::State& state) { statusSnapshot(state, true); }

BENCHMARK(BM_GetExtReferences)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_GetFileSuffixes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_GetStatusSnapshot)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_GetStatusSnapshotAfterChange)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void printSummary(const BenchMedians& medians)
{
    // Medians of the CPU time, in milliseconds: the machines that run this
    // are shared, and other work stretches the wall-clock time unevenly.
    const double plain = medians.cpu("BM_CreateDestroyTransform3D");
    const double reference = medians.cpu("BM_CreateDestroyReference");
    if (plain > 0 && reference > 0)
        std::printf("create+destroy, reference core / Transform3D core (CPU medians): %.2fx (%.0f ns vs %.0f ns per "
                    "core; goal <= 3x)\n",
                    reference / plain, reference * 1e6 / CreatedCores, plain * 1e6 / CreatedCores);
    for (const char* name :
         {"BM_GetExtReferences", "BM_GetFileSuffixes", "BM_GetStatusSnapshot", "BM_GetStatusSnapshotAfterChange"}) {
        const double small = medians.cpu(std::string(name) + "/10000");
        const double large = medians.cpu(std::string(name) + "/100000");
        if (small > 0 && large > 0)
            std::printf("%s: 100,000 / 10,000 cores (CPU medians): %.2fx the time (%.0f ns per core at 100,000; goal "
                        "<= 12x)\n",
                        name + 3, large / small, large * 1e6 / 100000);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv, printSummary);
}
