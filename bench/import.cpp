// Licensed under the MIT licence; see LICENSE.
// Reading a mesh file into a scene-graph tree against Assimp's read of the
// same file alone, in the same run: the difference is the conversion into
// nodes and Geometry cores. The file is a generated OBJ of a grid of quads
// (one million vertices) in 100 objects. The ratio of the medians is printed
// at the end (goal: at most 1.2).
//
// Beside it, the plainest OBJ files (positions and triangles) read by the
// host's own reader against Assimp: a part of one triangle, as assemblies of
// many small parts have, and a part of 200,000 triangles (no goal; reported).
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int Objects = 100;
constexpr int QuadsPerSide = 50; // per object: 2500 quads, 10000 face-corner vertices

struct Model
{
    QTemporaryDir dir;
    QString path;
    qint64 fileSize = 0;
};

const Model& model()
{
    static Model* m = [] {
        auto* made = new Model;
        made->path = made->dir.filePath("grid.obj");
        QFile file(made->path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        QByteArray text;
        int base = 1;
        for (int o = 0; o < Objects; ++o) {
            text += "o Part" + QByteArray::number(o) + "\n";
            const int side = QuadsPerSide + 1;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    text += "v " + QByteArray::number(x) + " " + QByteArray::number(y) + " " + QByteArray::number(o) + "\n";
            for (int y = 0; y < QuadsPerSide; ++y)
                for (int x = 0; x < QuadsPerSide; ++x) {
                    const int a = base + y * side + x;
                    text += "f " + QByteArray::number(a) + " " + QByteArray::number(a + 1) + " "
                            + QByteArray::number(a + side + 1) + " " + QByteArray::number(a + side) + "\n";
                }
            base += side * side;
            file.write(text);
            text.clear();
        }
        made->fileSize = file.size();
        return made;
    }();
    return *m;
}

struct PlainPart
{
    QTemporaryDir dir;
    QString path;
    int triangles = 0;
};

// A strip of triangles in one object, written as most exporters write one.
const PlainPart& plainPart(int triangles)
{
    static std::map<int, PlainPart*> parts;
    PlainPart*& part = parts[triangles];
    if (!part) {
        part = new PlainPart;
        part->triangles = triangles;
        part->path = part->dir.filePath("part.obj");
        QByteArray text = "# part\no Part\n";
        for (int v = 0; v < triangles + 2; ++v)
            text += "v " + QByteArray::number(v / 2) + ".25 " + QByteArray::number(v % 2) + " -0.5\n";
        for (int t = 1; t <= triangles; ++t)
            text += "f " + QByteArray::number(t) + " " + QByteArray::number(t + 1) + " " + QByteArray::number(t + 2) + "\n";
        QFile file(part->path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            std::abort();
    }
    return *part;
}

void readPlainPart(benchmark::State& state, bool ownReader)
{
    const PlainPart& part = plainPart(int(state.range(0)));
    for (auto _ : state) {
        QString error;
        const osg::NodeRefPtr root = ownReader ? ksMeshImporter::read(part.path, &error)
                                               : ksMeshImporter::readThroughAssimp(part.path, &error);
        if (!root || ksSceneImporter::countVertices(root.get()) != quint64(part.triangles) * 3)
            state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(root.getCPtr());
    }
}

void BM_PlainPartOwnReader(benchmark::State& state)
{
    readPlainPart(state, true);
}

void BM_PlainPartAssimp(benchmark::State& state)
{
    readPlainPart(state, false);
}

BENCHMARK(BM_PlainPartOwnReader)->Arg(1)->Arg(200000)->Unit(benchmark::kMicrosecond)->Repetitions(5)
    ->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_PlainPartAssimp)->Arg(1)->Arg(200000)->Unit(benchmark::kMicrosecond)->Repetitions(5)
    ->ReportAggregatesOnly(true)->UseRealTime();

void BM_AssimpAlone(benchmark::State& state)
{
    const std::string path = QFile::encodeName(model().path).toStdString();
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_ValidateDataStructure);
        if (!scene)
            state.SkipWithError(importer.GetErrorString());
        benchmark::DoNotOptimize(scene);
    }
    state.SetBytesProcessed(state.iterations() * model().fileSize);
}

void BM_MeshImporter(benchmark::State& state)
{
    for (auto _ : state) {
        QString error;
        const osg::NodeRefPtr root = ksMeshImporter::read(model().path, &error);
        if (!root || ksSceneImporter::countVertices(root.get()) != quint64(Objects) * QuadsPerSide * QuadsPerSide * 4)
            state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(root.getCPtr());
    }
    state.SetBytesProcessed(state.iterations() * model().fileSize);
}

BENCHMARK(BM_AssimpAlone)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_MeshImporter)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

void printSummary(const BenchMedians& medians)
{
    std::printf("file: %.1f MB\n", double(model().fileSize) / 1e6);
    if (medians.real("BM_AssimpAlone") > 0 && medians.real("BM_MeshImporter") > 0)
        std::printf("importer / Assimp alone (medians): %.2f\n",
                    medians.real("BM_MeshImporter") / medians.real("BM_AssimpAlone"));
    for (const char* size : {"1", "200000"}) {
        const double own = medians.real(std::string("BM_PlainPartOwnReader/") + size);
        const double assimp = medians.real(std::string("BM_PlainPartAssimp/") + size);
        if (own > 0 && assimp > 0)
            std::printf("plain part of %s triangle(s): own reader %.1f us, Assimp %.1f us, %.1fx faster\n", size,
                        own, assimp, assimp / own);
    }
}

} // namespace

int main(int argc, char** argv)
{
    model();
    return runBenchmarks(argc, argv, printSummary, true);
}
