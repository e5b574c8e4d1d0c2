// Licensed under the MIT licence; see LICENSE.
// Loading and saving a smart reference whose ".zmb" file holds a 200 MB
// geometry scene, against the host's loader and writer alone on the same
// file in the same run. The smart file adds the scene work around them
// (attaching, clone syncing, the record refresh with its checksum of the
// file, the change-mark walk). The ratios of the medians are printed at the
// end (goal: at most 1.3).
#include "BenchGeometry.h"
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "io/ksSmartFile.h"
#include "kernel/ksController.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace osg;

namespace {

// live root
// +- "Engine" (ExtReference, smart record -> engine.zmb, loaded)
//    +- 7 parts, each a transform over a 1M-vertex mesh: positions on a wavy
//       surface, their normals, a triangle strip's indices; one material.
struct BigReference {
    QTemporaryDir dir;
    QString path;
    std::string utf8Path;
    qint64 fileSize = 0;
    NodeRefPtr node;
    ExtReferenceRefPtr core;
    std::unique_ptr<ksSmartFile> smart;

    BigReference()
    {
        NodeRefPtr content = Node::create();
        content->setCore(Group::create());
        setName(content.get(), "Root");
        addGeometryParts(content.get());
        path = dir.filePath("engine.zmb");
        utf8Path = path.toStdString();
        if (!ksFileIO::saveSmartReference(content.get(), utf8Path, {})) {
            std::fprintf(stderr, "writing the scene failed\n");
            std::exit(1);
        }
        fileSize = QFile(path).size();

        ksReferencePool::instance().registerCallbacks();
        core = ExtReference::create();
        FileReferenceRefPtr record = FileReference::create();
        record->setPath(utf8Path);
        core->setSmartFile(record);
        core->setState(ksReferenceTypes::NotLoaded);
        node = Node::create();
        node->setCore(core);
        const NodePtr root = ksScenegraph::getRoot();
        beginEditCP(root, Node::ChildrenFieldMask);
        root->addChild(node);
        endEditCP(root, Node::ChildrenFieldMask);
        smart.reset(new ksSmartFile(core.get()));
    }

    // The material update of the last load, outside the timed part.
    static void settle() { QCoreApplication::processEvents(); }
};

BigReference& reference()
{
    static BigReference r;
    return r;
}

// The loader as the smart file sets it up.
NodeRefPtr hostLoad(const std::string& path)
{
    ksFastGeometryLoader loader;
    ksSmartFile::configureLoader(loader);
    loader.setStashLoadedData(true);
    return loader.load(path).root;
}

void BM_HostLoad(benchmark::State& state)
{
    BigReference& r = reference();
    if (r.smart->isLoaded())
        r.smart->unload();
    for (auto _ : state) {
        NodeRefPtr root = hostLoad(r.utf8Path);
        if (!root)
            state.SkipWithError("load failed");
        state.PauseTiming();
        root.reset();
        ksNodeUtils::validatePools();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * r.fileSize);
}

void BM_SmartFileLoad(benchmark::State& state)
{
    BigReference& r = reference();
    for (auto _ : state) {
        state.PauseTiming();
        if (r.smart->isLoaded())
            r.smart->unload();
        BigReference::settle();
        state.ResumeTiming();
        if (!r.smart->load())
            state.SkipWithError("load failed");
    }
    BigReference::settle();
    state.SetBytesProcessed(state.iterations() * r.fileSize);
}

void BM_HostSave(benchmark::State& state)
{
    BigReference& r = reference();
    if (!r.smart->isLoaded() && !r.smart->load())
        state.SkipWithError("load failed");
    BigReference::settle();
    for (auto _ : state) {
        if (!ksFileIO::saveSmartReference(r.node.get(), r.utf8Path, {}))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * r.fileSize);
}

void BM_SmartFileSave(benchmark::State& state)
{
    BigReference& r = reference();
    if (!r.smart->isLoaded() && !r.smart->load())
        state.SkipWithError("load failed");
    BigReference::settle();
    for (auto _ : state) {
        if (!r.smart->save())
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * r.fileSize);
}

#define SMART_FILE_BENCHMARK(name)                                                                                   \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()

SMART_FILE_BENCHMARK(BM_HostLoad);
SMART_FILE_BENCHMARK(BM_SmartFileLoad);
SMART_FILE_BENCHMARK(BM_HostSave);
SMART_FILE_BENCHMARK(BM_SmartFileSave);

void printSummary(const BenchMedians& medians)
{
    std::printf("file: %.1f MB\n", double(reference().fileSize) / 1e6);
    // Real time is the goal; the main thread's CPU time is printed too,
    // since waits for a disk that others share swamp it on a busy machine.
    auto ratio = [&](const char* host, const char* ours, const char* what) {
        if (medians.real(host) > 0 && medians.real(ours) > 0)
            std::printf("%s: smart file / host alone (medians): %.2f real time, %.2f CPU time\n", what,
                        medians.real(ours) / medians.real(host), medians.cpu(ours) / medians.cpu(host));
    };
    ratio("BM_HostLoad", "BM_SmartFileLoad", "load");
    ratio("BM_HostSave", "BM_SmartFileSave", "save");
}

} // namespace

int main(int argc, char** argv)
{
    // The smart file's material update runs on a timer.
    QCoreApplication app(argc, argv);
    // The host's handler, which has nothing to do here.
    const ksSubscription materials = ksController::addHandler("updateMaterials", [](ksMessage&, ksModuleBase*) {});
    reference();
    return runBenchmarks(argc, argv, printSummary, true);
}
