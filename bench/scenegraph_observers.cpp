// Licensed under the MIT licence; see LICENSE.
// Publishes 1,000,000 field edits in one subtree, once with no change
// observer and once with 1,000 observers on other subtrees. Goal: ratio <= 2.
#include "scenegraph/SceneGraph.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

using namespace osg;

constexpr int Edits = 1000000;
constexpr int Observers = 1000;

// root
// +- edited: 5 levels of groups, then 100 nodes with Transform3D cores
// +- watched 0 .. watched 999, each with a child
struct Scene {
    NodeRefPtr root = Node::create();
    std::vector<Transform3DRefPtr> cores;
    std::vector<NodePtr> watched;

    Scene()
    {
        NodePtr tip = root;
        for (int level = 0; level < 5; ++level) {
            NodeRefPtr n = Node::create();
            n->setCore(Group::create());
            tip->addChild(n);
            tip = n;
        }
        for (int i = 0; i < 100; ++i) {
            NodeRefPtr n = Node::create();
            cores.push_back(Transform3D::create());
            n->setCore(cores.back());
            tip->addChild(n);
        }
        for (int i = 0; i < Observers; ++i) {
            NodeRefPtr w = Node::create();
            w->addChild(Node::create());
            root->addChild(w);
            watched.push_back(w);
        }
    }
};

double runEdits(Scene& scene)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Edits; ++i) {
        const Transform3DRefPtr& core = scene.cores[std::size_t(i) % scene.cores.size()];
        beginEditCP(core, Transform3D::TranslationFieldMask);
        core->setTranslation({float(i), 0, 0});
        endEditCP(core, Transform3D::TranslationFieldMask);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_EditsWithUnrelatedObservers(benchmark::State& state)
{
    Scene scene;
    long calls = 0;
    double without = 0, with = 0;
    for (auto _ : state) {
        without += runEdits(scene);
        std::vector<ChangeSubscription> subs;
        for (const NodePtr& w : scene.watched)
            subs.push_back(ChangeObservers::subscribe(w, [&](const ChangeEvent&) { ++calls; }));
        const double t = runEdits(scene);
        with += t;
        state.SetIterationTime(t);
    }
    if (calls != 0)
        state.SkipWithError("an unrelated observer was called");
    const double n = double(state.iterations());
    state.counters["no_observer_ns_per_edit"] = without / n / Edits * 1e9;
    state.counters["observers_ns_per_edit"] = with / n / Edits * 1e9;
    state.counters["ratio"] = with / without;
}
BENCHMARK(BM_EditsWithUnrelatedObservers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
