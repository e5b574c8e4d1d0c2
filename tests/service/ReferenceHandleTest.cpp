// Licensed under the MIT licence; see LICENSE.
// The reference node handle's answers without records or times, its actions
// on locked nodes and the root, and its revision queries.
#include "ServiceTestSupport.h"

#include "monitor/ksRevisionMonitor.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <functional>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

class ReferenceHandle : public ::testing::Test
{
protected:
    void SetUp() override { ksScenegraph::newScene(); }
    void TearDown() override
    {
        service()->setRevisionCheckEnabled(false);
        service()->setRevisionExpressions({});
        ksUndoStack::get(0).clear();
        ksScenegraph::newScene();
    }
};

TEST_F(ReferenceHandle, MissingRecordsAndZeroTimesGiveNeutralAnswers)
{
    const osg::NodeRefPtr plain = makeGroup("Plain");
    const osg::NodeRefPtr bare = makeReference("Bare", "");
    const osg::NodeRefPtr zero = makeReference("Zero", "/d/z.zmb", "/d/z.stp");
    const osg::NodeRefPtr timed = makeReference("Timed", "/d/t.zmb", "/d/t.stp");
    const osg::ExtReferencePtr timedCore = coreOf(timed.get());
    for (const osg::FileReferencePtr& record : {timedCore->getSmartFile(), timedCore->getSourceFile()}) {
        edit(record, osg::FieldBits::AllFields, [&] {
            record->setLastModified(1700000000);
            record->setImportDate(1600000000);
            record->setOwner("anna");
        });
    }
    const std::string none = fileLine("", Types::NoReference, "", QDateTime());
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1700000000);
    const struct
    {
        const char* name;
        ksdReferenceNode handle;
        std::string source;
        std::string smart;
        QDateTime imported;
    } cases[] = {
        {"null handle", ksdReferenceNode(), none, none, QDateTime()},
        {"plain node", ksdReferenceNode(plain.getFieldContainerId()), none, none, QDateTime()},
        {"reference without records", handleOf(bare.get()), none, none, QDateTime()},
        {"times of 0", handleOf(zero.get()), fileLine("/d/z.stp", Types::UpToDate, "", QDateTime()),
         fileLine("/d/z.zmb", Types::UpToDate, "", QDateTime()), QDateTime()},
        {"times set", handleOf(timed.get()), fileLine("/d/t.stp", Types::UpToDate, "anna", modified),
         fileLine("/d/t.zmb", Types::UpToDate, "anna", modified), QDateTime::fromSecsSinceEpoch(1600000000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sourceLine(c.handle), c.source);
        EXPECT_EQ(smartLine(c.handle), c.smart);
        EXPECT_EQ(c.handle.getSourceImportDate(), c.imported);
        EXPECT_FALSE(c.handle.getSmartCreationDate().isValid());
    }
}

// live root ── N (source /data/cad/engine.stp unless said) ── c
// or the live root itself as the reference, with the child c.
TEST_F(ReferenceHandle, ActionsLeaveLockedNodesAndTheRootAlone)
{
    enum Where { Free, Locked, Root };
    using Action = std::function<void(ksdReferenceNode&)>;
    const auto createSmart = [](bool flag) -> Action {
        return [flag](ksdReferenceNode& h) { h.createSmartReference(flag); };
    };
    const char* engine = "/data/cad/engine.stp";
    const struct
    {
        const char* name;
        Where where;
        const char* smart;
        const char* source;
        Action act;
        std::string after; // empty: unchanged, and no undo step
    } cases[] = {
        {"smart file next to the source", Free, "", engine, createSmart(true),
         "N['/data/cad/engine.zmb'|'/data/cad/engine.stp'](c)"},
        {"empty smart file without the flag", Free, "", engine, createSmart(false), "N[''|'/data/cad/engine.stp'](c)"},
        {"empty smart file without a source", Free, "", "", createSmart(true), "N[''|-](c)"},
        {"no smart file on the root", Root, "", engine, createSmart(true), ""},
        {"no smart file on a locked node", Locked, "", engine, createSmart(true), ""},
        {"no source on a locked node", Locked, "/d/n.zmb", "",
         [](ksdReferenceNode& h) { h.createSourceReference(); }, ""},
        {"the root stays loaded", Root, "/d/n.zmb", engine, [](ksdReferenceNode& h) { h.unload(); }, ""},
        {"a locked node stays loaded and keeps its records and paths", Locked, "/d/n.zmb", engine,
         [](ksdReferenceNode& h) {
             h.unload();
             h.removeSmartReference();
             h.removeSourceReference();
             h.setSmartPath("/d/other.zmb");
             h.setSourcePath("/d/other.stp");
         },
         ""},
    };
    ksUndoStack& undo = ksUndoStack::get(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ksScenegraph::newScene();
        osg::NodePtr node = ksScenegraph::getRoot();
        const osg::NodeRefPtr reference = makeReference("N", c.smart, c.source);
        if (c.where == Root) {
            const osg::NodeCoreRefPtr core(reference->getCore());
            edit(node, osg::Node::CoreFieldMask, [&] { node->setCore(core); });
        } else {
            addChild(node, reference);
            node = reference.get();
        }
        addChild(node, makeGroup("c"));
        ksNodeUtils::setLock(node, c.where == Locked);
        const std::string before = dump(node);
        const int index = undo.stack().index();

        ksdReferenceNode handle = handleOf(node);
        ASSERT_FALSE(handle.isNull());
        c.act(handle);
        EXPECT_EQ(dump(node), c.after.empty() ? before : c.after);
        EXPECT_EQ(undo.stack().index(), index + (c.after.empty() ? 0 : 1));
    }
}

TEST_F(ReferenceHandle, RevisionQueriesReadDirectoriesAfreshAndAnswerOnlyWhileTheCheckIsOn)
{
    TempFiles files;
    const std::string smart = files.write("door_v1.zmb", "1");
    const std::string source = files.write("door_v1.stp", "1");
    files.write("door_v2.zmb", "2");
    const osg::NodeRefPtr node = makeReference("door", smart, source);
    const ksdReferenceNode handle = handleOf(node.get());
    ksReferenceService* s = service();
    s->setRevisionExpressions({"_v(\\d+)"});
    s->setRevisionCheckEnabled(true);
    EXPECT_EQ(handle.getSmartRevisions(), (QStringList{"1", "2"}));
    EXPECT_EQ(handle.getSourceRevisions(), QStringList{"1"});
    EXPECT_EQ(handle.getSmartRevision(), "1");
    EXPECT_EQ(handle.getSmartRevisionPath("2"), QString::fromStdString(files.path("door_v2.zmb")));
    EXPECT_EQ(handle.getSmartRevisionPath("7"), "");

    // Another monitor on this thread shares the directory cache: it sees a
    // new file only once the cache was cleared, as every query does, also
    // while the check is off and the query answers nothing.
    ksRevisionMonitor other;
    other.setExpressions({"_v(\\d+)"});
    const std::vector<std::function<QString()>> queries = {
        [&] { return handle.getSmartRevisions().join(','); },
        [&] { return handle.getSourceRevisions().join(','); },
        [&] { return handle.getSmartRevision(); },
        [&] { return handle.getSourceRevision(); },
        [&] { return handle.getSmartRevisionPath("1"); },
        [&] { return handle.getSourceRevisionPath("1"); },
    };
    s->setRevisionCheckEnabled(false);
    const QString zmb = QString::fromStdString(smart);
    QStringList revisions = other.findRevisions(zmb).keys();
    for (std::size_t i = 0; i < queries.size(); ++i) {
        SCOPED_TRACE(i);
        const QString revision = QString::number(i + 3);
        files.write("door_v" + revision + ".zmb", "new");
        EXPECT_EQ(other.findRevisions(zmb).keys(), revisions);
        EXPECT_EQ(queries[i](), "");
        revisions << revision;
        EXPECT_EQ(other.findRevisions(zmb).keys(), revisions);
    }
}

} // namespace
