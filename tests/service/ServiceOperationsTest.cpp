// Licensed under the MIT licence; see LICENSE.
// The service's conversion to smart references, its listing of references
// and what it tells the user after an update check.
#include "ServiceTestSupport.h"

#include "notification/NotificationManager.h"
#include "notification/TextNotification.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

class ServiceOperations : public ::testing::Test
{
protected:
    void TearDown() override
    {
        ksUndoStack::get(0).clear();
        ksScenegraph::newScene();
    }
};

// live root ── P ─┬─ A
//                 ├─ X (converted)
//                 └─ B          (siblings as the case says)
TEST_F(ServiceOperations, ConvertToSmartIsOneUndoableChangePerCase)
{
    const auto reference = [](Types::State state) {
        return [state] { return makeReference("X", "", "/d/X.stp", state); };
    };
    const auto transform = [] {
        osg::NodeRefPtr node = makeGroup("X");
        node->setCore(osg::Transform3DBase::create());
        return node;
    };
    const auto group = [] { return makeGroup("X"); };
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
        {"locked reference", reference(Types::NotLoaded), "AXB", true, true, 0, "", ""},
        {"unloaded, next to its source", reference(Types::NotLoaded), "AXB", false, true, 1,
         "P(A, X['/d/X.zmb'|'/d/X.stp'], B)", ""},
        {"unloaded, without the flag", reference(Types::NotLoaded), "AXB", false, false, 0, "", ""},
        {"loaded, an empty smart file", reference(Types::Loaded), "AXB", false, false, 1,
         "P(A, X[''|'/d/X.stp'], B)", ""},
        {"loaded, with the flag", reference(Types::Loaded), "AXB", false, true, 0, "", ""},
        // The core's conversion is no part of the step: undo leaves a
        // reference without records.
        {"transform", transform, "AXB", false, true, 1, "P(A, X[''|-], B)", "P(A, X[-|-], B)"},
        {"locked transform", transform, "AXB", true, true, 0, "", ""},
        // The new reference node is a step of its own, then the move.
        {"group in the middle", group, "AXB", false, false, 2, "P(A, SmartReference[''|-](X), B)", ""},
        {"first group", group, "XB", false, false, 2, "P(SmartReference[''|-](X), B)", ""},
        {"last group", group, "AX", false, false, 2, "P(A, SmartReference[''|-](X))", ""},
        {"locked group", group, "AXB", true, false, 0, "", ""},
    };
    ksReferenceService* s = service();
    ksUndoStack& undo = ksUndoStack::get(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ksScenegraph::newScene();
        const osg::NodeRefPtr parent = makeGroup("P");
        const osg::NodeRefPtr x = c.make();
        for (const char* p = c.siblings; *p; ++p)
            addChild(parent.get(), *p == 'X' ? x : makeGroup(std::string(1, *p)));
        addChild(ksScenegraph::getRoot(), parent);
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
}

// G ─┬─ R (core c) ── N
//    ├─ R' (core c)
//    └─ plain
TEST_F(ServiceOperations, GetReferencesListsEachCoreOnceAndLooksInsideReferences)
{
    const osg::NodeRefPtr G = makeGroup("G");
    const osg::NodeRefPtr R = makeReference("R", "/d/r.zmb");
    addChild(R.get(), makeReference("N", "/d/n.zmb"));
    const osg::NodeRefPtr clone = osg::Node::create();
    edit(clone.get(), osg::Node::CoreFieldMask, [&] { clone->setCore(osg::NodeCoreRefPtr(R->getCore())); });
    ksNodeUtils::setName(clone.get(), "R'", false);
    addChild(G.get(), R);
    addChild(G.get(), clone);
    addChild(G.get(), makeGroup("plain"));

    QStringList names;
    for (const ksdReferenceNode& node : service()->getReferences(ksTypeConverter::convertNode(G.get())))
        names << QString::fromStdString(ksNodeUtils::getName(ksTypeConverter::convertNode(node)));
    names.sort();
    // The later node of a shared core stands for it.
    EXPECT_EQ(names, (QStringList{"N", "R'"}));
}

TEST_F(ServiceOperations, AnUpdateCheckTellsOfMissingFilesOnceElseOfUpdates)
{
    using ksa::notification::NotificationManager;
    NotificationManager* manager = NotificationManager::getInstance();
    manager->removeAll();
    const QString missing = QStringLiteral("Reference(s) missing, see Reference Editor.");
    const QString updates = QStringLiteral("Reference update(s) available, see Reference Editor.");
    const struct
    {
        int mode;
        std::vector<std::pair<Types::FileState, Types::FileState>> nodes; // smart, source
        QStringList shown;
    } cases[] = {
        {0, {{Types::Missing, Types::Missing}}, {}},
        {1, {{Types::UpToDate, Types::Outdated}, {Types::UpToDate, Types::Missing}}, {missing}},
        {1, {{Types::Missing, Types::UpToDate}, {Types::Missing, Types::Missing}}, {missing}},
        {1, {{Types::UpToDate, Types::UpToDate}, {Types::Outdated, Types::NoPath}}, {updates}},
        {1, {{Types::UpToDate, Types::NoPath}}, {}},
    };
    ksReferenceService* s = service();
    int count = 0;
    for (const auto& c : cases) {
        std::vector<osg::NodeRefPtr> nodes;
        QList<ksdReferenceNode> handles;
        for (const auto& states : c.nodes) {
            nodes.push_back(makeReference("N", "/d/n.zmb", "/d/n.stp"));
            coreOf(nodes.back().get())->getSmartFile()->setState(states.first);
            coreOf(nodes.back().get())->getSourceFile()->setState(states.second);
            handles << handleOf(nodes.back().get());
        }
        s->setNotificationMode(Types::NotificationMode(c.mode));
        QMetaObject::invokeMethod(s, "checkForNotification", Q_ARG(QList<ksdReferenceNode>, handles));
        QStringList shown;
        for (ksa::notification::Notification* notification : manager->notifications().mid(count))
            shown << notification->displayText();
        EXPECT_EQ(shown, c.shown) << c.mode << " " << c.nodes.size();
        count += shown.size();
    }
    s->setNotificationMode(Types::NoNotification);

    // Each stays for 3 s.
    QTest::qWait(2500);
    EXPECT_EQ(manager->notifications().size(), count);
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->notifications().isEmpty(); }, 1500));
}

} // namespace
