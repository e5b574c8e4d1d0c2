// Licensed under the MIT licence; see LICENSE.
// Saving and loading a ".zmb" file of a 200 MB geometry scene, against
// writing and reading the scene's bytes (its encoded size, 200 MB)
// sequentially in the same run. The baselines do what any format must: the
// write goes through a temporary file that is flushed and renamed
// (QSaveFile), the read pulls the whole file into memory. The ratios of the
// medians are printed at the end (goal: at least one half), with the ratio
// against the compressed file's own size for comparison. Saves report the
// processor time of all threads (zstd's workers compress beside the
// encoder), and a save at zstd's level 1 runs beside the default.
// Before any Qt header: Qt defines `slots` as a macro.
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
        UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
        for (int part = 0; part < 7; ++part) {
            const std::size_t n = 1000000;
            std::vector<Vec3f> positions(n), normals(n);
            std::vector<UInt32> indices(n);
            for (std::size_t i = 0; i < n; ++i) {
                const float u = float(i % 1000) * 0.01f, v = float(i / 1000) * 0.01f;
                positions[i] = Vec3f(u, v, std::sin(u * 3 + part) * std::cos(v * 2));
                normals[i] = Vec3f(std::cos(u), std::sin(v), 1.0f);
                indices[i] = UInt32(i);
            }
            GeometryRefPtr geo = Geometry::create();
            geo->setPositions(std::move(positions));
            geo->setNormals(std::move(normals));
            geo->setIndices(std::move(indices));
            geo->setMaterial(paint);
            NodeRefPtr mesh = Node::create();
            mesh->setCore(geo);
            NodeRefPtr placed = Node::create();
            placed->setCore(Transform3D::create());
            placed->addChild(mesh);
            root->addChild(placed);
        }
        zmbPath = dir.filePath("scene.zmb");
        plainPath = dir.filePath("plain.bin");
        QString error;
        if (!ksZmbWriter(root.get(), {}, {}).save(zmbPath, error)) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(error));
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
        QString error;
        if (!ksZmbWriter(scene().root.get(), {}, {}).save(scene().zmbPath, error))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

// The same at another level (zstd's level 1, the default before the fast
// levels), for a comparison in one run.
void BM_ZmbSaveAtLevel(benchmark::State& state)
{
    for (auto _ : state) {
        QString error;
        ksZmbWriter writer(scene().root.get(), {}, {});
        writer.setCompressionLevel(int(state.range(0)));
        if (!writer.save(scene().zmbPath, error))
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
        ksZmbReader reader;
        if (!reader.readFile(scene().zmbPath))
            state.SkipWithError("load failed");
        NodeRefPtr root = reader.takeRoot();
        benchmark::DoNotOptimize(root.getCPtr());
    }
    state.SetBytesProcessed(state.iterations() * scene().sceneSize);
}

BENCHMARK(BM_SequentialWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbSave)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbSaveAtLevel)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ZmbLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                m_medians[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("scene: %.1f MB, file: %.1f MB\n", double(scene().sceneSize) / 1e6, double(scene().fileSize) / 1e6);
        auto ratio = [&](const char* base, const char* ours, const char* what) {
            if (m_medians[base] > 0 && m_medians[ours] > 0)
                std::printf("%s speed / sequential (medians): %.2f\n", what, m_medians[base] / m_medians[ours]);
        };
        ratio("BM_SequentialWrite", "BM_ZmbSave", "save");
        ratio("BM_SequentialWrite", "BM_ZmbSaveAtLevel/1", "save at level 1");
        ratio("BM_SequentialRead", "BM_ZmbLoad", "load");
        const double fileShare = double(scene().fileSize) / double(scene().sceneSize);
        std::printf("against the file's own size: save %.2f, load %.2f\n",
                    fileShare * m_medians["BM_SequentialWrite"] / m_medians["BM_ZmbSave"],
                    fileShare * m_medians["BM_SequentialRead"] / m_medians["BM_ZmbLoad"]);
    }

private:
    std::map<std::string, double> m_medians;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    scene();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
