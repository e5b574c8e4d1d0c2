// Licensed under the MIT licence; see LICENSE.
// The pool shared with a thread that works as the update monitor does, meant
// to run under ThreadSanitizer too.
#include "ModelTestSupport.h"

#include "model/ksReferencePool.h"

#include <QElapsedTimer>

#include <atomic>
#include <deque>
#include <thread>

using namespace osg;
using namespace modeltest;

namespace {

// A stand-in monitor pass: reads every path, writes state and checksum.
QList<uint> check(const ksStatusSnapshot& snapshot)
{
    for (auto it = snapshot.constBegin(); it != snapshot.constEnd(); ++it) {
        for (const ksFileReferenceStatusPtr& status : {it.value()->smart(), it.value()->source()}) {
            if (!status->hasPath)
                continue;
            const uint32_t sum = uint32_t(qHash(status->path)) | 1u;
            status->lastChecked = status->lastModified + 1;
            status->checksum = sum;
            status->state = sum % 2 ? ksReferenceTypes::Outdated : ksReferenceTypes::UpToDate;
        }
    }
    return snapshot.keys();
}

} // namespace

TEST(PoolConcurrency, SnapshotsOnAnotherThreadWhileTheMainThreadEdits)
{
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.isEmpty());
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::thread worker([&] {
        for (; !stop.load(); ++passes)
            check(pool.getStatusSnapshot());
    });

    std::deque<NodeRefPtr> nodes;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; (i < 400 || passes.load() < 50) && timer.elapsed() < 20000; ++i) {
        const std::string name = std::to_string(i);
        nodes.push_back(inScene(reference("", "/refs/" + name + ".zmb", "/cad/" + name + ".stp")));
        const FileReferencePtr source = coreOf(nodes.back())->getSourceFile();
        edit(source, FileReference::PathFieldMask, [&] { source->setPath("/cad/" + name + ".jt"); });
        QList<uint> ids;
        for (const NodeRefPtr& node : nodes)
            ids.append(node->getCore().getFieldContainerId());
        pool.applyUpdates(ids);
        pool.getFileSuffixes();
        pool.getExtReferences();
        pool.getNumChangedReferences();
        if (nodes.size() > 20) {
            edit(ksScenegraph::getRoot(), Node::ChildrenFieldMask,
                 [&] { ksScenegraph::getRoot()->subChild(nodes.front().get()); });
            nodes.pop_front();
        }
    }
    stop = true;
    worker.join();
    EXPECT_GT(passes.load(), 0);
    // With the worker gone, its last results reach the records exactly; ids
    // of nothing, of a gone core and of a record are passed over.
    const uint goneId = ExtReference::create().getFieldContainerId();
    pool.applyUpdates(check(pool.getStatusSnapshot())
                      << 0u << goneId << coreOf(nodes.back())->getSmartFile().getFieldContainerId());
    for (const NodeRefPtr& node : nodes) {
        const FileReferencePtr smart = coreOf(node)->getSmartFile();
        const ksFileReferenceStatusPtr status = pool.getStatusSnapshot().value(coreOf(node).getFieldContainerId())->smart();
        EXPECT_EQ(smart->getChecksum(), status->checksum.load());
        EXPECT_EQ(smart->getState(), status->state.load());
    }
    clearScene();
    nodes.clear();
    EXPECT_TRUE(pool.isEmpty());
}
