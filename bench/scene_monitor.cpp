// Licensed under the MIT licence; see LICENSE.
// The cost of an edit under tree change monitors: 1,000,000 edits inside one
// of 10,000 watched subtrees with all 10,000 monitors live, against the same
// edits with only the one monitor that watches that subtree. An edit should
// cost the same whatever the number of monitors it does not concern (goal:
// within 2x). The ratio of the medians is printed at the end.
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include "nodeutils/ksTreeChangeMonitor.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace osg;

namespace {

constexpr int Subtrees = 10000;
constexpr int Edits = 1000000;

// root
// +- 10,000 reference nodes (ExtReference), each watched by a monitor
//    +- group
//       +- mesh (Geometry)      <- the edits change this node's traversal mask
struct MonitoredScene {
    NodeRefPtr root;
    std::vector<NodePtr> tops;
    NodePtr edited;
    std::vector<std::unique_ptr<ksTreeChangeMonitor>> monitors;

    explicit MonitoredScene(int monitorCount)
    {
        root = Node::create();
        root->setCore(Group::create());
        for (int i = 0; i < Subtrees; ++i) {
            NodeRefPtr top = Node::create();
            top->setCore(ExtReference::create());
            NodeRefPtr group = Node::create();
            group->setCore(Group::create());
            NodeRefPtr mesh = Node::create();
            mesh->setCore(Geometry::create());
            group->addChild(mesh);
            top->addChild(group);
            root->addChild(top);
            tops.push_back(top.get());
            if (i == Subtrees / 2)
                edited = mesh.get();
        }
        // The monitor of the edited subtree always; the others as asked.
        for (int i = 0; i < Subtrees && int(monitors.size()) < monitorCount; ++i) {
            const int index = (Subtrees / 2 + i) % Subtrees;
            auto monitor = std::make_unique<ksTreeChangeMonitor>(false);
            monitor->addSkipFields(Node::getClassTypeId(), Node::FlagsFieldMask);
            monitor->addSkipFields(tops[std::size_t(index)], Node::AttachmentsFieldMask);
            monitor->setSkipExtReferenceChildren(true);
            monitor->setSkipRootVisibility(true);
            monitor->resetChanged(tops[std::size_t(index)]);
            monitors.push_back(std::move(monitor));
        }
    }
};

void BM_Edits(benchmark::State& state)
{
    MonitoredScene scene(int(state.range(0)));
    UInt32 mask = 0;
    for (auto _ : state) {
        for (int i = 0; i < Edits; ++i) {
            beginEditCP(scene.edited, Node::TravMaskFieldMask);
            scene.edited->setTravMask(++mask);
            endEditCP(scene.edited, Node::TravMaskFieldMask);
        }
    }
    if (scene.monitors.front()->getChangeCount() < std::size_t(Edits))
        state.SkipWithError("the watching monitor missed edits");
    state.SetItemsProcessed(state.iterations() * Edits);
    state.counters["monitors"] = double(scene.monitors.size());
}

BENCHMARK(BM_Edits)->Arg(1)->Arg(Subtrees)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void printSummary(const BenchMedians& medians)
{
    const double one = medians.real("BM_Edits/1"), all = medians.real("BM_Edits/" + std::to_string(Subtrees));
    if (one > 0 && all > 0)
        std::printf("10,000 monitors / 1 monitor (medians): %.2fx (%.0f ns vs %.0f ns per edit)\n", all / one,
                    all * 1e6 / Edits, one * 1e6 / Edits);
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, printSummary);
}
