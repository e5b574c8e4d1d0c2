// Licensed under the MIT licence; see LICENSE.
// The service's conversion to smart references, and the handle's refusals
// on the root.
#include "ServiceTestSupport.h"

#include "model/ksReferencePool.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scene/ksSmartReferenceStash.h"
#include "tree/ksTreeService.h"
#include "undo/ksDeleteNodesCommand.h"
#include "undo/ksUndoStack.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <functional>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

// live root ── P ─┬─ A
//                 ├─ X (converted)
//                 └─ B          (siblings as the case says)
TEST(ServiceOperations, ConvertToSmartIsOneUndoableChangePerCase)
{
    const auto unloaded = [] { return reference("X", "", "/d/X.stp", Types::NotLoaded); };
    const auto loaded = [] { return reference("X", "", "/d/X.stp", Types::Loaded); };
    const auto transform = [] { return add(osg::NullFC, "X", osg::Transform3D::create()); };
    const auto group = [] { return add(osg::NullFC, "X"); };
    const struct
    {
        const char* name;
        std::function<osg::NodeRefPtr()> make;
        const char* siblings;
        bool locked;
        bool flag;
        int undoSteps;
        std::string after;  // empty: unchanged
        std::string undone; // empty: as before
    } cases[] = {
        {"locked reference", unloaded, "AXB", true, true, 0, "", ""},
        {"unloaded, next to its source", unloaded, "AXB", false, true, 1, "P(A, X['/d/X.zmb'|'/d/X.stp'], B)", ""},
        {"unloaded, without the flag", unloaded, "AXB", false, false, 0, "", ""},
        {"loaded, an empty smart file", loaded, "AXB", false, false, 1, "P(A, X[''|'/d/X.stp'], B)", ""},
        {"loaded, with the flag", loaded, "AXB", false, true, 0, "", ""},
        // The core's conversion is no part of the step: undo leaves a
        // reference without records.
        {"transform", transform, "AXB", false, true, 1, "P(A, X[''|-], B)", "P(A, X[-|-], B)"},
        // The new reference node is a step of its own, then the move.
        {"group in the middle", group, "AXB", false, false, 2, "P(A, SmartReference[''|-](X), B)", ""},
        {"last group", group, "AX", false, false, 2, "P(A, SmartReference[''|-](X))", ""},
        {"locked group", group, "AXB", true, false, 0, "", ""},
    };
    ksReferenceService* s = service();
    ksUndoStack& undo = ksUndoStack::get(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ksScenegraph::newScene();
        const osg::NodeRefPtr parent = add(ksScenegraph::getRoot(), "P");
        const osg::NodeRefPtr x = c.make();
        for (const char* p = c.siblings; *p; ++p)
            addChild(parent.get(), *p == 'X' ? x : add(osg::NullFC, std::string(1, *p)));
        ksNodeUtils::setLock(x.get(), c.locked);
        const std::string before = dump(parent.get());
        const std::string after = c.after.empty() ? before : c.after;
        QSignalSpy created(s, &ksReferenceService::referenceCreated);
        const int index = undo.stack().index();

        const ksdNode result = s->convertToSmart(ksTypeConverter::convertNode(x.get()), c.flag);
        const std::string resultName = c.undoSteps == 2 ? "SmartReference" : "X";
        EXPECT_EQ(ksNodeUtils::getName(ksTypeConverter::convertNode(result)), resultName);
        EXPECT_EQ(created.count(), c.undoSteps == 2 ? 1 : 0);
        EXPECT_EQ(dump(parent.get()), after);
        ASSERT_EQ(undo.stack().index(), index + c.undoSteps);
        for (int i = 0; i < c.undoSteps; ++i)
            undo.undo();
        EXPECT_EQ(dump(parent.get()), c.undone.empty() ? before : c.undone);
        for (int i = 0; i < c.undoSteps; ++i)
            undo.redo();
        EXPECT_EQ(dump(parent.get()), after);
    }
    undo.clear();
    ksScenegraph::newScene();
}

// G ─┬─ A ── A' (a clone of A: the same core)
//     └─ B
TEST(ServiceOperations, ListingReferencesGivesEachCoreOnceTheStartIncluded)
{
    const osg::NodeRefPtr G = reference("G", "/d/g.zmb");
    const osg::NodeRefPtr A = reference("A", "/d/a.zmb");
    addChild(G.get(), A);
    add(A.get(), "A'", osg::NodeCoreRefPtr(A->getCore()));
    addChild(G.get(), reference("B", "", "/d/b.stp"));
    QStringList paths;
    for (const ksdReferenceNode& node : service()->getReferences(ksTypeConverter::convertNode(G.get())))
        paths << node.getSmartPath() + node.getSourcePath();
    paths.sort();
    EXPECT_EQ(paths, (QStringList{"/d/a.zmb", "/d/b.stp", "/d/g.zmb"}));
    // Below a reference node: the nearest references in order, never the
    // node itself nor A' inside A.
    QStringList children;
    for (const ksdReferenceNode& node : service()->getChildReferences(ksTypeConverter::convertNode(G.get())))
        children << node.getSmartPath() + node.getSourcePath();
    EXPECT_EQ(children, (QStringList{"/d/a.zmb", "/d/b.stp"}));
}

// The live root as the reference, with the child c (locked nodes: the scenario).
TEST(ServiceOperations, TheRootStaysLoadedAndGetsNoSmartFile)
{
    ksUndoStack& undo = ksUndoStack::get(0);
    for (const char* smart : {"", "/d/n.zmb"}) {
        SCOPED_TRACE(smart);
        ksScenegraph::newScene();
        const osg::NodePtr root = ksScenegraph::getRoot();
        const osg::NodeCoreRefPtr core(reference("N", smart, "/data/cad/engine.stp")->getCore());
        edit(root, osg::Node::CoreFieldMask, [&] { root->setCore(core); });
        add(root, "c");
        const std::string before = dump(root);
        const int index = undo.stack().index();
        ksdReferenceNode handle = handleOf(root);
        ASSERT_FALSE(handle.isNull());
        if (*smart)
            handle.unload();
        else
            handle.createSmartReference(true);
        EXPECT_EQ(dump(root), before);
        EXPECT_EQ(undo.stack().index(), index);
    }
    ksScenegraph::newScene();
}

// The service learns of undone and redone steps through the pool, and of
// the host's other changes through the tree and file-IO services.
TEST(ServiceOperations, UndoneReferencesLeaveThePoolAndTheSelectionAndComeBackWithRedo)
{
    ksScenegraph::newScene();
    ksUndoStack& undo = ksUndoStack::get(0);
    ksReferenceService* s = service();
    ksReferencePool& pool = ksReferencePool::instance();
    ASSERT_TRUE(pool.isEmpty());
    QSignalSpy scene(s, &ksReferenceService::sceneHasReferences);
    const ksdReferenceNode created = s->createSmartReference(ksdNode());
    for (int round = 0; round < 2; ++round) {
        undo.undo();
        EXPECT_TRUE(pool.isEmpty()) << "an undone \"Create Smart Reference\" would stay watched";
        undo.redo();
        EXPECT_EQ(pool.getExtReferences().size(), 1);
    }
    ASSERT_EQ(scene.count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(scene.at(i).at(0).toBool(), i % 2 == 0);

    // Selected, then deleted: the selection drops it at the next turn.
    QCoreApplication::processEvents();
    QSignalSpy changed(s, &ksReferenceService::referencesChanged);
    QSignalSpy selection(s, &ksReferenceService::sceneSelectionChanged);
    ksTreeService* tree = ksKernelServiceFactory::the().get<ksTreeService>();
    tree->setSelection({created.getObjectId()});
    undo.addOrExecute(new ksDeleteNodesCommand({ksTypeConverter::convertNode(created)}));
    EXPECT_TRUE(pool.isEmpty());
    EXPECT_EQ(changed.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 1) << "scenegraphChanged";
    ASSERT_FALSE(selection.isEmpty());
    EXPECT_TRUE(selection.last().at(0).value<QList<ksdReferenceNode>>().isEmpty());
    EXPECT_TRUE(tree->getSelection().isEmpty());

    undo.undo();
    changed.clear();
    TempFiles files;
    ASSERT_TRUE(ksFileIO::saveSmartReference(ksTypeConverter::convertNode(created), files.path("saved.zmb"),
                                             ksSmartReferenceStash()));
    EXPECT_EQ(changed.count(), 1) << "savedGeometry";
    undo.clear();
    ksScenegraph::newScene();
}

} // namespace
