// Licensed under the MIT licence; see LICENSE.
// Builds a tree of 1,000,000 nodes, walks it depth-first and drops it, once
// with scene graph nodes and once with a bare pointer tree walked the same
// way (explicit stack, one std::function call per node). Goal: ratio <= 2.
#include "scenegraph/SceneGraph.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <vector>

namespace {

constexpr int NodeCount = 1000000;
constexpr int Fanout = 8;

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

long bareRun()
{
    auto* root = new BareNode();
    std::vector<BareNode*> order{root};
    order.reserve(NodeCount);
    buildLevels([&](std::size_t parent) {
        auto* n = new BareNode();
        order[parent]->children.push_back(n);
        order.push_back(n);
    });
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
    delete root;
    return visited;
}

long sceneGraphRun()
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
    long visited = 0;
    traverse(root, [&](const NodePtr&) {
        ++visited;
        return Action::Continue;
    });
    root.reset();
    return visited;
}

template <class F> double seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(f());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BuildTraverseDrop(benchmark::State& state)
{
    double bare = 0, graph = 0;
    for (auto _ : state) {
        bare += seconds(bareRun);
        const double g = seconds(sceneGraphRun);
        graph += g;
        state.SetIterationTime(g);
    }
    const double n = double(state.iterations());
    state.counters["bare_ms"] = bare / n * 1e3;
    state.counters["scenegraph_ms"] = graph / n * 1e3;
    state.counters["ratio"] = graph / bare;
}
BENCHMARK(BM_BuildTraverseDrop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
