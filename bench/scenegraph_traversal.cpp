// Licensed under the MIT licence; see LICENSE.
// A tree of 1,000,000 nodes, with scene graph nodes and with a bare pointer
// tree of the same shape, each walked depth-first the same way (explicit
// stack, one std::function call per node). Build, walk and drop are timed
// on their own, the two sides taking turns within each repetition, and the
// ratios of the medians are printed at the end. Goal: the walk at most 1.3x
// the bare walk; build and drop are reported beside it (what a scene costs
// to make and free: containers, reference counts, user lists).
#include "BenchSupport.h"
#include "scenegraph/SceneGraph.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int NodeCount = 1000000;
constexpr int Fanout = 8;
constexpr int WalksPerRepetition = 3;

struct BareNode {
    std::vector<BareNode*> children;
    ~BareNode()
    {
        for (BareNode* c : children)
            delete c;
    }
};

// Level by level: every node gets Fanout children until NodeCount exist.
template <class MakeChild> void buildLevels(MakeChild makeChild)
{
    int made = 1;
    for (std::size_t i = 0; made < NodeCount; ++i)
        for (int k = 0; k < Fanout && made < NodeCount; ++k, ++made)
            makeChild(i);
}

BareNode* buildBare()
{
    auto* root = new BareNode();
    std::vector<BareNode*> order{root};
    order.reserve(NodeCount);
    buildLevels([&](std::size_t parent) {
        auto* n = new BareNode();
        order[parent]->children.push_back(n);
        order.push_back(n);
    });
    return root;
}

long walkBare(BareNode* root)
{
    long visited = 0;
    const std::function<int(BareNode*)> visit = [&](BareNode*) {
        ++visited;
        return 0;
    };
    struct Frame {
        BareNode* node;
        std::size_t next;
    };
    std::vector<Frame> stack;
    visit(root);
    stack.push_back({root, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.node->children.size()) {
            BareNode* child = top.node->children[top.next++];
            visit(child);
            stack.push_back({child, 0});
        } else {
            stack.pop_back();
        }
    }
    return visited;
}

osg::NodeRefPtr buildSceneGraph()
{
    using namespace osg;
    NodeRefPtr root = Node::create();
    std::vector<NodePtr> order{root};
    order.reserve(NodeCount);
    buildLevels([&](std::size_t parent) {
        NodeRefPtr n = Node::create();
        order[parent]->addChild(n);
        order.push_back(n);
    });
    return root;
}

long walkSceneGraph(const osg::NodeRefPtr& root)
{
    long visited = 0;
    osg::traverse(root, [&](const osg::NodePtr&) {
        ++visited;
        return osg::Action::Continue;
    });
    return visited;
}

template <class F> double milliseconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// One repetition: build both, walk both in turns, drop both. Manual time is
// the scene graph's walk; every step is a counter.
void BM_Tree(benchmark::State& state)
{
    double bareBuild = 0, graphBuild = 0, bareWalk = 0, graphWalk = 0, bareDrop = 0, graphDrop = 0;
    for (auto _ : state) {
        BareNode* bare = nullptr;
        osg::NodeRefPtr graph;
        bareBuild += milliseconds([&] { bare = buildBare(); });
        graphBuild += milliseconds([&] { graph = buildSceneGraph(); });
        double walk = 0;
        for (int i = 0; i < WalksPerRepetition; ++i) {
            bareWalk += milliseconds([&] { benchmark::DoNotOptimize(walkBare(bare)); }) / WalksPerRepetition;
            const double w = milliseconds([&] { benchmark::DoNotOptimize(walkSceneGraph(graph)); });
            graphWalk += w / WalksPerRepetition;
            walk += w / WalksPerRepetition;
        }
        bareDrop += milliseconds([&] { delete bare; });
        graphDrop += milliseconds([&] { graph.reset(); });
        state.SetIterationTime(walk / 1e3);
    }
    const double n = double(state.iterations());
    state.counters["bare_build_ms"] = bareBuild / n;
    state.counters["build_ms"] = graphBuild / n;
    state.counters["bare_walk_ms"] = bareWalk / n;
    state.counters["walk_ms"] = graphWalk / n;
    state.counters["bare_drop_ms"] = bareDrop / n;
    state.counters["drop_ms"] = graphDrop / n;
}
BENCHMARK(BM_Tree)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void printSummary(const BenchMedians& medians)
{
    auto ratio = [&](const char* what, const char* ours, const char* bare, const char* goal) {
        const double a = medians.counter("BM_Tree", ours), b = medians.counter("BM_Tree", bare);
        if (a > 0 && b > 0)
            std::printf("%s: scene graph / bare tree (medians): %.2fx (%.1f ms / %.1f ms)%s\n", what, a / b, a, b,
                        goal);
    };
    ratio("walk", "walk_ms", "bare_walk_ms", " (goal <= 1.3x)");
    ratio("build", "build_ms", "bare_build_ms", "");
    ratio("drop", "drop_ms", "bare_drop_ms", "");
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, printSummary);
}
