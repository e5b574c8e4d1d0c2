// Licensed under the MIT licence; see LICENSE.
// The 3D view's frame time on a scene of 1,000 references and 1,000,000
// triangles: 100 distinct meshes of 1,000 triangles, each shared by the
// geometry cores of ten references (clones share their upload), on a 10 x 10
// x 10 grid. Goal: under 50 ms a frame with Mesa's software renderer on a
// two-core machine, the whole scene in view. A second figure frames a corner
// of the grid, where culling by bounds leaves most of it undrawn.
//
// Needs an X display with OpenGL: run it under xvfb-run, e.g.
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/release/bin/bench_scene_view
#include "ksSceneView.h"

#include "BenchSupport.h"

#include "scenegraph/ExtReference.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Group.h"
#include "scenegraph/Node.h"
#include "scenegraph/UBRDFMaterial.h"

#include <QApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int References = 1000;
constexpr int Meshes = 100;
// 26 x 21 vertices: 25 x 20 quads, 1,000 triangles.
constexpr int Columns = 26;
constexpr int Rows = 21;

// A wavy sheet bent into a half cylinder, different for each seed.
osg::GeometryRefPtr makeMesh(int seed)
{
    osg::GeometryRefPtr geometry = osg::Geometry::create();
    std::vector<osg::Vec3f> positions;
    std::vector<osg::UInt32> indices;
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c) {
            const float angle = float(M_PI) * float(c) / float(Columns - 1);
            const float wave = 0.05f * std::sin(float(seed + r) * 0.7f);
            positions.emplace_back((0.4f + wave) * std::cos(angle), float(r) / float(Rows - 1) - 0.5f,
                                   (0.4f + wave) * std::sin(angle));
        }
    for (int r = 0; r + 1 < Rows; ++r)
        for (int c = 0; c + 1 < Columns; ++c) {
            const osg::UInt32 a = osg::UInt32(r * Columns + c);
            const osg::UInt32 b = a + 1;
            const osg::UInt32 d = a + Columns;
            indices.insert(indices.end(), {a, d, b, b, d, d + 1});
        }
    geometry->setPositions(std::move(positions));
    geometry->setIndices(std::move(indices));
    osg::UBRDFMaterialRefPtr material = osg::UBRDFMaterial::create();
    material->setDiffuseColor(osg::Vec3f(0.3f + 0.007f * float(seed), 0.5f, 0.8f - 0.005f * float(seed)));
    geometry->setMaterial(material);
    return geometry;
}

osg::NodeRefPtr makeScene()
{
    std::vector<osg::GeometryRefPtr> meshes;
    for (int m = 0; m < Meshes; ++m)
        meshes.push_back(makeMesh(m));
    osg::NodeRefPtr root = osg::Node::create();
    osg::beginEditCP(root, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    root->setCore(osg::Group::create());
    for (int i = 0; i < References; ++i) {
        osg::ExtReferenceRefPtr core = osg::ExtReference::create();
        core->setTranslation(osg::Vec3f(float(i % 10) * 1.2f, float((i / 10) % 10) * 1.2f, float(i / 100) * 1.2f));
        osg::NodeRefPtr reference = osg::Node::create();
        osg::NodeRefPtr shape = osg::Node::create();
        shape->setCore(meshes[std::size_t(i % Meshes)]);
        reference->setCore(core);
        reference->addChild(shape);
        root->addChild(reference);
    }
    osg::endEditCP(root, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    return root;
}

ksSceneView* g_view = nullptr;

// Beside the wall clock, the processor time of all the process's threads
// (llvmpipe renders on its own): on a loaded machine the wall clock measures
// the share the renderer got, the processor time what a frame costs.
void frames(benchmark::State& state)
{
    const double cpuStart = processCpuSeconds();
    for (auto _ : state)
        state.SetIterationTime(g_view->renderFrame() / 1000.0);
    state.counters["cpu_ms"] = (processCpuSeconds() - cpuStart) * 1000.0 / double(state.iterations());
    state.counters["load"] = loadAverage();
    state.counters["drawn"] = g_view->drawnItemCount();
    state.counters["triangles"] = double(g_view->drawnTriangleCount());
    state.counters["culled"] = g_view->culledItemCount();
    state.counters["meshes"] = g_view->uploadedMeshCount();
}

void BM_FrameWholeScene(benchmark::State& state)
{
    g_view->frameAll();
    g_view->renderFrame();
    frames(state);
}
BENCHMARK(BM_FrameWholeScene)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_FrameOneCorner(benchmark::State& state)
{
    QSet<quint32> corner;
    corner.insert(g_view->drawList().items().first().path.at(1));
    g_view->setSelection(corner);
    g_view->frameSelection();
    g_view->setSelection({});
    g_view->renderFrame();
    frames(state);
}
BENCHMARK(BM_FrameOneCorner)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QOpenGLContext probe;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !probe.create()) {
        std::fprintf(stderr, "bench_scene_view needs an X display with OpenGL; run it under xvfb-run\n");
        return 0;
    }
    const osg::NodeRefPtr root = makeScene();
    ksSceneView view;
    view.resize(1280, 720);
    view.setRoot(root);
    view.show();
    for (int wait = 0; wait < 500 && !view.isValid(); ++wait) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
    if (!view.isValid()) {
        std::fprintf(stderr, "bench_scene_view: the view got no OpenGL context\n");
        return 1;
    }
    g_view = &view;
    view.makeCurrent();
    std::printf("OpenGL: %s, %s\n", reinterpret_cast<const char*>(view.context()->functions()->glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(view.context()->functions()->glGetString(GL_VERSION)));
    view.doneCurrent();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The whole scene as the benchmark drew it, to judge the coarser copies by eye.
    if (!qEnvironmentVariableIsEmpty("BENCH_SCENE_VIEW_IMAGE")) {
        view.frameAll();
        view.grabFramebuffer().save(qEnvironmentVariable("BENCH_SCENE_VIEW_IMAGE"));
    }
    g_view = nullptr;
    return 0;
}
