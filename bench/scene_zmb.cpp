// Licensed under the MIT licence; see LICENSE.
// Saving and loading a ".zmb" file of a 200 MB geometry scene, against
// writing and reading the scene's bytes (its encoded size, 200 MB)
// sequentially in the same run. The baselines do what any format must: the
// write goes through a temporary file that is flushed and renamed
// (QSaveFile), the read pulls the whole file into memory. Runs of all of
// them take turns (random interleaving), so that the load of a shared
// machine falls on each side alike. The ratios of the medians are printed at
// the end (goals: the save at least 0.7, the load at least one half), with
// the ratio against the file's own size for comparison. Saves report the
// processor time of all threads (zstd's workers compress beside the
// encoder), and a save at zstd's level 1 runs beside the default.
#include "BenchGeometry.h"
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "scene/ksZmbReader.h"
#include "scene/ksZmbWriter.h"
#include "scenegraph/SceneEncoder.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

using namespace osg;

namespace {

// root
// +- 7 parts, each a transform over a 1M-vertex mesh: positions on a wavy
//    surface, their normals, a triangle strip's indices; one shared material.
struct BigScene {
    NodeRefPtr root;
    QTemporaryDir dir;
    QString zmbPath, plainPath;
    qint64 fileSize = 0;
    qint64 sceneSize = 0;

    BigScene()
    {
        root = Node::create();
        root->setCore(Group::create());
        addGeometryParts(root.get());
        zmbPath = dir.filePath("scene.zmb");
        plainPath = dir.filePath("plain.bin");
        if (const ksFileResult saved = ksZmbWriter(root.get(), {}, {}).save(zmbPath); !saved) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(saved.message));
            std::exit(1);
        }
        fileSize = QFile(zmbPath).size();
        sceneSize = qint64(SceneEncoder(root.get()).getSize());
        QFile plain(plainPath);
        plain.open(QIODevice::WriteOnly);
        const std::vector<char> block(1 << 20, 'x');
        for (qint64 done = 0; done < sceneSize; done += qint64(block.size()))
            plain.write(block.data(), std::min<qint64>(qint64(block.size()), sceneSize - done));
    }
};

BigScene& scene()
{
    static BigScene s;
    return s;
}

void BM_SequentialWrite(benchmark::State& state)
{
    const std::vector<char> block(1 << 20, 'x');
    for (auto _ : state) {
        QSaveFile file(scene().plainPath);
        file.open(QIODevice::WriteOnly);
        for (qint64 done = 0; done < scene().sceneSize; done += qint64(block.size()))
            file.write(block.data(), std::min<qint64>(qint64(block.size()), scene().sceneSize - done));
        if (!file.commit())
            state.SkipWithError("baseline write failed");
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

void BM_ZmbSave(benchmark::State& state)
{
    for (auto _ : state) {
        if (!ksZmbWriter(scene().root.get(), {}, {}).save(scene().zmbPath))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

// The same at another level (zstd's level 1, the default before the fast
// levels), for a comparison in one run.
void BM_ZmbSaveAtLevel(benchmark::State& state)
{
    for (auto _ : state) {
        ksZmbWriter writer(scene().root.get(), {}, {});
        writer.setCompressionLevel(int(state.range(0)));
        if (!writer.save(scene().zmbPath))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

void BM_SequentialRead(benchmark::State& state)
{
    for (auto _ : state) {
        QFile file(scene().plainPath);
        file.open(QIODevice::ReadOnly);
        const qint64 size = file.size();
        std::unique_ptr<char[]> bytes(new char[std::size_t(size)]); // not cleared, as the reader's
        for (qint64 done = 0; done < size;) {
            const qint64 n = file.read(bytes.get() + done, size - done);
            if (n <= 0)
                break;
            done += n;
        }
        benchmark::DoNotOptimize(bytes.get());
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

void BM_ZmbLoad(benchmark::State& state)
{
    for (auto _ : state) {
        ksZmbReadResult result = ksZmbReader::read(scene().zmbPath);
        if (!result)
            state.SkipWithError("load failed");
        NodeRefPtr root = std::move(result.root);
        benchmark::DoNotOptimize(root.getCPtr());
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

BENCHMARK(BM_SequentialWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbSave)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbSaveAtLevel)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

void printSummary(const BenchMedians& medians)
{
    std::printf("scene: %.1f MB, file: %.1f MB\n", double(scene().sceneSize) / 1e6, double(scene().fileSize) / 1e6);
    auto ratio = [&](const char* base, const char* ours, const char* what) {
        if (medians.real(base) > 0 && medians.real(ours) > 0)
            std::printf("%s speed / sequential (medians): %.2f\n", what, medians.real(base) / medians.real(ours));
    };
    ratio("BM_SequentialWrite", "BM_ZmbSave", "save");
    ratio("BM_SequentialWrite", "BM_ZmbSaveAtLevel/1", "save at level 1");
    ratio("BM_SequentialRead", "BM_ZmbLoad", "load");
    const double fileShare = double(scene().fileSize) / double(scene().sceneSize);
    if (medians.real("BM_ZmbSave") > 0 && medians.real("BM_ZmbLoad") > 0)
        std::printf("against the file's own size: save %.2f, load %.2f\n",
                    fileShare * medians.real("BM_SequentialWrite") / medians.real("BM_ZmbSave"),
                    fileShare * medians.real("BM_SequentialRead") / medians.real("BM_ZmbLoad"));
}

} // namespace

int main(int argc, char** argv)
{
    scene();
    return runBenchmarks(argc, argv, printSummary, true);
}
