// Licensed under the MIT licence; see LICENSE.
// Node handles, forwarding of reference handle operations to a
// registered implementation, the handle registry and node conversion.
#include "scenegraph/SceneGraph.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdObjectManager.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksdReferenceNode.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace osg;

namespace {

// Answers with the bound node's id, so a test sees which handle a call was
// bound to. getSmartPath asks another handle in between.
class NumberingImplementation : public ksdReferenceNode
{
    Q_OBJECT

public:
    QString getSourcePath() const override { return QStringLiteral("source-%1").arg(getObjectId()); }

    QString getSmartPath() const override
    {
        const QString inner = ksdReferenceNode(partner).getSourcePath();
        // Read after the nested call: the outer binding must be back.
        return QStringLiteral("%1 inside %2").arg(inner).arg(getObjectId());
    }

    void setSourcePath(const QString& path) override { lastAction = QStringLiteral("%1:%2").arg(getObjectId()).arg(path); }

    quint32 partner = 0;
    QString lastAction;
};

// A node handle class of the host's (for cameras).
class CameraHandle : public ksdNode
{
    Q_OBJECT
};

// root
//  +- reference (ExtReference)
//  +- group (Group)
class HandleTest : public ::testing::Test
{
protected:
    HandleTest()
    {
        reference->setCore(ExtReference::create());
        group->setCore(Group::create());
        root->addChild(reference);
        root->addChild(group);
    }
    void SetUp() override
    {
        ksdObjectManager::instance().clearImplementations();
        ksdObjectManager::instance().registerToPtr<ksdReferenceNode>(ExtReference::getClassTypeId());
    }
    void TearDown() override { ksdObjectManager::instance().clearImplementations(); }

    NodeRefPtr root = Node::create(), reference = Node::create(), group = Node::create();
};

TEST_F(HandleTest, ConverterTypesNodesByTheirCores)
{
    const ksdNode referenceHandle = ksTypeConverter::convertNode(reference.get());
    EXPECT_EQ(referenceHandle.getObjectId(), reference.getFieldContainerId());
    EXPECT_EQ(referenceHandle.getType(), &ksdReferenceNode::staticMetaObject);

    // Handles of one node are equal and hash alike, whatever their class.
    EXPECT_EQ(QSet<ksdNode>({referenceHandle, ksdReferenceNode(referenceHandle), ksdNode(9)}).size(), 2);

    const ksdNode groupHandle = ksTypeConverter::convertNode(group.getFieldContainerId());
    EXPECT_EQ(groupHandle.getType(), &ksdNode::staticMetaObject);
    EXPECT_TRUE(ksdReferenceNode(groupHandle).isNull());
    EXPECT_EQ(ksTypeConverter::convertNode(groupHandle), group.get());
    // Ids of other containers, unknown ids and null handles give nothing.
    EXPECT_TRUE(ksTypeConverter::convertNode(reference->getCore().getFieldContainerId()).isNull());
    EXPECT_TRUE(ksTypeConverter::convertNode(0xfffffff0u).isNull());
    EXPECT_EQ(ksTypeConverter::convertNode(ksdNode()), NullFC);

    ksNodeUtils::setLock(group.get(), true);
    EXPECT_TRUE(groupHandle.isLocked()) << "read from the node, not kept";

    // A handle outlives its node and then names nothing.
    const quint32 id = group.getFieldContainerId();
    root->subChild(group.get());
    group.reset();
    EXPECT_EQ(ksTypeConverter::convertNode(ksdNode(id)), NullFC);
    EXPECT_FALSE(ksdNode(id).isLocked());
}

TEST_F(HandleTest, OperationsForwardBoundToTheCallingHandleToTheNewestImplementation)
{
    // Without an implementation (a plain handle is none), operations are neutral, not endless.
    ksdObjectManager& manager = ksdObjectManager::instance();
    manager.registerImplementation(std::make_shared<ksdReferenceNode>());
    ksdReferenceNode first(11);
    EXPECT_FALSE(first.hasSourceReference());
    EXPECT_TRUE(first.getSourcePath().isEmpty());
    first.load();

    auto implementation = std::make_shared<NumberingImplementation>();
    implementation->partner = 31;
    manager.registerImplementation(implementation);
    EXPECT_EQ(first.getSourcePath(), "source-11");
    // The nested call on another handle is bound to that handle, and the
    // outer call finds its own binding again.
    EXPECT_EQ(first.getSmartPath(), "source-31 inside 11");
    first.setSourcePath(QStringLiteral("/cad/a.stp"));
    EXPECT_EQ(implementation->lastAction, "11:/cad/a.stp");
    // Operations the implementation leaves alone are neutral.
    EXPECT_EQ(first.getSourceFileState(), ksReferenceTypes::NoReference);
    EXPECT_EQ(implementation->getObjectId(), 0u) << "after the calls the prototype is bound to nothing";

    auto newer = std::make_shared<NumberingImplementation>();
    newer->partner = 32;
    manager.registerImplementation(newer);
    EXPECT_EQ(first.getSmartPath(), "source-32 inside 11");
}

TEST_F(HandleTest, RegistryTiesCoreTypesToHandleTypesAndMakesNothingItCannot)
{
    ksdObjectManager& manager = ksdObjectManager::instance();
    const ksdObjectManager::TypeId referenceType = manager.registerType(&ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(manager.registerToPtr<ksdReferenceNode>(ExtReference::getClassTypeId()), referenceType);
    EXPECT_EQ(manager.findType(QByteArray("ksdReferenceNode")), &ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(manager.getExternalType(Group::getClassTypeId()), nullptr);
    const auto made = manager.createFromExternal<ksdReferenceNode>(reference.getFieldContainerId(),
                                                                   ExtReference::getClassTypeId());
    EXPECT_EQ(made.getObjectId(), reference.getFieldContainerId());
    const ksdObjectManager::TypeId cameraType = manager.registerType(&CameraHandle::staticMetaObject);
    manager.registerExternalType(cameraType, UberCamera::getClassTypeId());
    manager.registerCreator(cameraType, [] { return std::make_shared<CameraHandle>(); });
    // What it cannot create, it makes as a null handle.
    EXPECT_TRUE(manager.createFromExternal<ksdReferenceNode>(9, Group::getClassTypeId()).isNull());
    EXPECT_TRUE(manager.createFromExternal<ksdReferenceNode>(9, UberCamera::getClassTypeId()).isNull());
    // The camera handle is a node handle, so it may be made as one.
    EXPECT_EQ(manager.createFromExternal<ksdNode>(9, UberCamera::getClassTypeId()).getType(),
              &CameraHandle::staticMetaObject);
}

} // namespace

#include "HandleTest.moc"
