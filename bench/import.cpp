// Licensed under the MIT licence; see LICENSE.
// Reading a mesh file into a scene-graph tree against Assimp's read of the
// same file alone, in the same run: the difference is the conversion into
// nodes and Geometry cores. The file is a generated OBJ of a grid of quads
// (one million vertices) in 100 objects. The ratio of the medians is printed
// at the end (goal: at most 1.2).
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
}

} // namespace

int main(int argc, char** argv)
{
    model();
    return runBenchmarks(argc, argv, printSummary, true);
}
