// Licensed under the MIT licence; see LICENSE.
// The smart reference exporter on large scenes:
// - the cycle check and the path step of a run on 1,000 and 10,000 smart
//   references (goal: at most 12x the time for 10x the references), with a
//   bare traversal of the same scene as the baseline. Each timed run starts
//   with cold caches: the scene of 1,000 references (about 2,000 nodes) fits
//   in the second-level cache and the one of 10,000 does not, so warm runs
//   compare the cache's latencies rather than the growth of the work. The
//   ratios of the CPU-time medians are printed at the end;
// - a full save of 100 and of 1,000 small nested smart references through
//   the reference interface, against writing the same files with the host's
//   writer alone, the two taking turns (goal: within 1.5x at both sizes; the
//   growth from 100 to 1,000 is printed beside the writer's own).
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "io/ksReferenceExporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scene/ksZmbWriter.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace osg;

namespace {

NodeRefPtr makeNode(NodeCoreRefPtr core, const std::string& name)
{
    NodeRefPtr node = Node::create();
    node->setCore(std::move(core));
    setName(node.get(), name);
    return node;
}

NodeRefPtr makePart(const std::string& name)
{
    GeometryRefPtr geometry = Geometry::create();
    geometry->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    geometry->setIndices({0, 1, 2, 2, 1, 3});
    return makeNode(geometry, name);
}

ExtReferenceRefPtr makeCore(const std::string& path, UInt32 state)
{
    ExtReferenceRefPtr core = ExtReference::create();
    FileReferenceRefPtr smart = FileReference::create();
    smart->setPath(path);
    core->setSmartFile(smart);
    core->setState(state);
    return core;
}

// `count` smart references in groups of 100 under one root, each over a
// part. (Groups, because a scene never hangs thousands of nodes under one.)
// With `withPaths` every one names a file of its own; without, all are
// named "Door" and have none yet, and their records are Missing so that the
// run stops after the path step.
struct FlatScene {
    NodeRefPtr root;
    std::vector<FileReferencePtr> records;

    FlatScene(int count, bool withPaths)
    {
        root = makeNode(Group::create(), "Root");
        NodeRefPtr group;
        for (int i = 0; i < count; ++i) {
            if (i % 100 == 0) {
                group = makeNode(Group::create(), "Group");
                root->addChild(group);
            }
            const std::string path = withPaths ? "/bench/refs/part" + std::to_string(i) + ".zmb" : std::string();
            ExtReferenceRefPtr core = makeCore(path, ksReferenceTypes::Loaded);
            if (!withPaths)
                core->getSmartFile()->setState(ksReferenceTypes::Missing);
            records.push_back(core->getSmartFile());
            NodeRefPtr node = makeNode(core, withPaths ? "Part" : "Door");
            node->addChild(makePart("Mesh"));
            group->addChild(node);
        }
    }
};

void BM_Traverse(benchmark::State& state)
{
    FlatScene scene(int(state.range(0)), true);
    for (auto _ : state) {
        evictCaches(state);
        int n = 0;
        traverse(scene.root.get(), [&](const NodePtr& node) {
            n += ExtReferencePtr::dcast(node->getCore()) ? 1 : 0;
            return Action::Continue;
        });
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Traverse)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_HasCyclicPaths(benchmark::State& state)
{
    FlatScene scene(int(state.range(0)), true);
    ksReferenceExporter::Options options;
    options.projectPath = "/bench/project.zmb";
    for (auto _ : state) {
        evictCaches(state);
        ksReferenceExporter exporter(scene.root.get(), options);
        benchmark::DoNotOptimize(exporter.hasCyclicPaths());
    }
}
BENCHMARK(BM_HasCyclicPaths)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);

// All references share one name: the numbering is the worst case.
void BM_PathStep(benchmark::State& state)
{
    FlatScene scene(int(state.range(0)), false);
    ksReferenceExporter::Options options;
    options.exportLocation = ksReferenceTypes::CustomDirectory;
    options.customExportPath = "/bench/out";
    options.projectPath = "/bench/project.zmb";
    for (auto _ : state) {
        state.PauseTiming();
        for (const FileReferencePtr& record : scene.records) {
            record->setPath(std::string());
            record->setRelativePath(std::string());
        }
        state.ResumeTiming();
        evictCaches(state);
        ksReferenceExporter(scene.root.get(), options).run();
    }
}
BENCHMARK(BM_PathStep)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5)
    ->ReportAggregatesOnly(true);

// `chains` chains of four nested smart references under the live root, each
// with one part of its own; taken out of the live scene again when done.
struct NestedScene {
    QTemporaryDir dir;
    std::vector<ExtReferencePtr> cores;
    std::vector<std::string> paths;
    std::vector<NodeRefPtr> chainRoots;
    // What each file holds on its own: the reference node, its part and the
    // bare node of the reference inside it, for the writer-only baseline.
    std::vector<NodeRefPtr> standalone;

    explicit NestedScene(int chains)
    {
        const NodePtr live = ksScenegraph::getRoot();
        for (int chain = 0; chain < chains; ++chain) {
            NodePtr parent = live;
            for (int level = 0; level < 4; ++level) {
                const std::string name = "R" + std::to_string(chain) + "_" + std::to_string(level);
                const std::string path = dir.filePath(QString::fromStdString(name + ".zmb")).toStdString();
                ExtReferenceRefPtr core = makeCore(path, ksReferenceTypes::Undefined);
                NodeRefPtr node = makeNode(core, name);
                node->addChild(makePart(name + "Part"));
                beginEditCP(parent, Node::ChildrenFieldMask);
                parent->addChild(node);
                endEditCP(parent, Node::ChildrenFieldMask);
                if (level == 0)
                    chainRoots.push_back(node);
                cores.push_back(core.get());
                paths.push_back(path);
                parent = node.get();

                NodeRefPtr own = makeNode(makeCore(path, ksReferenceTypes::Loaded), name);
                own->addChild(makePart(name + "Part"));
                if (level < 3)
                    own->addChild(makeNode(makeCore(path + ".inner", ksReferenceTypes::Loaded), "Inner"));
                standalone.push_back(own);
            }
        }
    }

    ~NestedScene()
    {
        const NodePtr live = ksScenegraph::getRoot();
        beginEditCP(live, Node::ChildrenFieldMask);
        for (const NodeRefPtr& node : chainRoots)
            live->subChild(node.get());
        endEditCP(live, Node::ChildrenFieldMask);
    }
};

void BM_FullSave(benchmark::State& state)
{
    NestedScene scene(int(state.range(0)) / 4);
    ksReferenceInterface* iface = ksInterfaceFactory::the().get<ksReferenceInterface>();
    const std::string project = scene.dir.filePath("project.zmb").toStdString();
    for (auto _ : state) {
        state.PauseTiming();
        // Undefined references are written whatever their change marks say.
        for (const ExtReferencePtr& core : scene.cores)
            core->setState(ksReferenceTypes::Undefined);
        state.ResumeTiming();
        if (!iface->saveSmartReferences(ksScenegraph::getRoot(), project.c_str()))
            state.SkipWithError("save refused");
    }
}

void BM_WriterOnly(benchmark::State& state)
{
    NestedScene scene(int(state.range(0)) / 4);
    for (auto _ : state) {
        for (std::size_t i = scene.standalone.size(); i-- > 0;) {
            const NodePtr node = scene.standalone[i].get();
            ksZmbWriter(node, {}, ksFileIO::makeMetadata(node)).save(QString::fromStdString(scene.paths[i]));
        }
    }
}

#define SAVE_BENCHMARK(name)                                                                                         \
    BENCHMARK(name)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)                 \
        ->ReportAggregatesOnly(true)->UseRealTime()
SAVE_BENCHMARK(BM_FullSave);
SAVE_BENCHMARK(BM_WriterOnly);

void printSummary(const BenchMedians& medians)
{
    // CPU-time medians: the machines that run this are shared.
    for (const char* name : {"BM_Traverse", "BM_HasCyclicPaths", "BM_PathStep"}) {
        const double small = medians.cpu(std::string(name) + "/1000");
        const double large = medians.cpu(std::string(name) + "/10000");
        if (small > 0 && large > 0)
            std::printf("%s: 10,000 / 1,000 references (CPU medians): %.2fx the time (goal <= 12x)\n", name + 3,
                        large / small);
    }
    for (const char* size : {"100", "1000"}) {
        const double full = medians.cpu(std::string("BM_FullSave/") + size);
        const double writer = medians.cpu(std::string("BM_WriterOnly/") + size);
        if (full > 0 && writer > 0)
            std::printf("full save of %s references / writer alone (CPU medians): %.2fx (goal <= 1.5x); "
                        "real time %.2fx\n",
                        size, full / writer,
                        medians.real(std::string("BM_FullSave/") + size)
                            / medians.real(std::string("BM_WriterOnly/") + size));
    }
    const double growth = medians.cpu("BM_FullSave/1000") / medians.cpu("BM_FullSave/100");
    const double writerGrowth = medians.cpu("BM_WriterOnly/1000") / medians.cpu("BM_WriterOnly/100");
    if (growth > 0 && writerGrowth > 0)
        std::printf("full save, 1,000 / 100 references (CPU medians): %.2fx the time; the writer alone %.2fx\n",
                    growth, writerGrowth);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ksReferencePool::instance().registerCallbacks();
    ksScenegraph::newScene();
    const int status = runBenchmarks(argc, argv, printSummary, true);
    ksScenegraph::newScene();
    return status;
}
