// Licensed under the MIT licence; see LICENSE.
// Node handles as values, forwarding of reference handle operations to a
// registered implementation, the handle registry and node conversion.
// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "CriticalRecorder.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdObjectManager.h"
#include "handles/ksdReferenceNode.h"
#include "nodeutils/ksNodeUtils.h"

#include <QBuffer>
#include <QDataStream>
#include <QSet>
#include <QVariant>

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

    QString createSmartPath(ksReferenceTypes::ExportLocation location, QString directory) override
    {
        return QStringLiteral("%1/%2/%3").arg(directory).arg(int(location)).arg(getObjectId());
    }

    quint32 partner = 0;
    mutable QString lastAction;
};

class OtherImplementation : public ksdReferenceNode
{
    Q_OBJECT

public:
    QString getSourcePath() const override { return QStringLiteral("other"); }
};

// A node handle class with class infos: "label" overrides a property,
// "colour" names none.
class CameraHandle : public ksdNode
{
    Q_OBJECT
    Q_PROPERTY(QString label READ label)
    Q_CLASSINFO("label", "Camera")
    Q_CLASSINFO("colour", "blue")

public:
    QString label() const { return QString(); }
};

class HandleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ksdObjectManager::instance().clearImplementations();
        ksdObjectManager::instance().registerToPtr<ksdReferenceNode>(ExtReference::getClassTypeId());
    }
    void TearDown() override { ksdObjectManager::instance().clearImplementations(); }

    // root
    //  +- reference (ExtReference)
    //  +- group (Group)
    NodeRefPtr root = makeNode(GroupBase::create());
    NodeRefPtr reference = makeNode(ExtReferenceBase::create());
    NodeRefPtr group = makeNode(GroupBase::create());

    static NodeRefPtr makeNode(NodeCoreRefPtr core)
    {
        NodeRefPtr node = Node::create();
        node->setCore(std::move(core));
        return node;
    }

    HandleTest()
    {
        root->addChild(reference);
        root->addChild(group);
    }
};

TEST_F(HandleTest, HandlesAreValuesComparedByTheirNode)
{
    const ksdReferenceNode a(5);
    ksdReferenceNode b(7);
    EXPECT_FALSE(a.isNull());
    EXPECT_TRUE(ksdReferenceNode().isNull());
    EXPECT_EQ(a, ksdReferenceNode(5));
    EXPECT_NE(a, b);
    EXPECT_LT(a, b);
    // A node handle and a reference handle of one node are equal.
    EXPECT_EQ(ksdNode(5), a);

    b = a;
    EXPECT_EQ(b.getObjectId(), 5u);
    const ksdReferenceNode copy(b);
    EXPECT_EQ(copy.getObjectId(), 5u);
    EXPECT_EQ(copy.getType(), &ksdReferenceNode::staticMetaObject);

    QList<ksdReferenceNode> list{ksdReferenceNode(3), a, ksdReferenceNode(9)};
    EXPECT_EQ(list.indexOf(ksdReferenceNode(5)), 1);
    EXPECT_TRUE(list.contains(ksdReferenceNode(9)));
    QSet<ksdReferenceNode> set{a, ksdReferenceNode(5), ksdReferenceNode(9)};
    EXPECT_EQ(set.size(), 2);
}

TEST_F(HandleTest, HandlesTravelInVariantsAndStreams)
{
    const ksdNode typed = ksTypeConverter::convertNode(reference.get());
    const QList<ksdReferenceNode> list{ksdReferenceNode(typed), ksdReferenceNode(42)};

    const QVariant single = QVariant::fromValue(list.first());
    EXPECT_STREQ(single.typeName(), "ksdReferenceNode");
    EXPECT_EQ(single.value<ksdReferenceNode>().getObjectId(), reference.getFieldContainerId());
    // Equality goes through the registered comparators.
    EXPECT_EQ(single, QVariant::fromValue(ksdReferenceNode(reference.getFieldContainerId())));
    EXPECT_NE(single, QVariant::fromValue(ksdReferenceNode(42)));

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QVariant::fromValue(list) << typed << ksdNode(group.getFieldContainerId());
    }
    QDataStream in(bytes);
    QVariant listVariant;
    ksdNode node;
    ksdNode plain;
    in >> listVariant >> node >> plain;
    ASSERT_EQ(in.status(), QDataStream::Ok);
    EXPECT_STREQ(listVariant.typeName(), "QList<ksdReferenceNode>");
    EXPECT_EQ(listVariant.value<QList<ksdReferenceNode>>(), list);
    // A node handle keeps its type through the stream, so it can still be
    // made a reference handle.
    EXPECT_EQ(node, typed);
    EXPECT_TRUE(node.isOfType(ksdReferenceNode::staticMetaObject));
    EXPECT_FALSE(ksdReferenceNode(node).isNull());
    EXPECT_FALSE(plain.isOfType(ksdReferenceNode::staticMetaObject));

    // A truncated stream leaves the target alone.
    QDataStream truncated(bytes.left(3));
    ksdNode untouched(77);
    truncated >> untouched;
    EXPECT_EQ(untouched.getObjectId(), 77u);
}

TEST_F(HandleTest, ConverterTypesNodesByTheirCores)
{
    const ksdNode referenceHandle = ksTypeConverter::convertNode(reference.get());
    EXPECT_EQ(referenceHandle.getObjectId(), reference.getFieldContainerId());
    EXPECT_EQ(referenceHandle.getType(), &ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(ksdReferenceNode(referenceHandle).getObjectId(), reference.getFieldContainerId());

    const ksdNode groupHandle = ksTypeConverter::convertNode(group.getFieldContainerId());
    EXPECT_EQ(groupHandle.getType(), &ksdNode::staticMetaObject);
    EXPECT_TRUE(ksdReferenceNode(groupHandle).isNull());

    EXPECT_EQ(ksTypeConverter::convertNode(groupHandle), group.get());
    // Ids of other containers, unknown ids and null handles give nothing.
    EXPECT_TRUE(ksTypeConverter::convertNode(reference->getCore().getFieldContainerId()).isNull());
    EXPECT_TRUE(ksTypeConverter::convertNode(0xfffffff0u).isNull());
    EXPECT_TRUE(ksTypeConverter::convertNode(NodePtr()).isNull());
    EXPECT_EQ(ksTypeConverter::convertNode(ksdNode()), NullFC);

    // Lock follows the node's flag.
    EXPECT_FALSE(groupHandle.isLocked());
    ksNodeUtils::setLock(group.get(), true);
    EXPECT_TRUE(groupHandle.isLocked());
    EXPECT_FALSE(ksdNode().isLocked());

    // A handle outlives its node and then names nothing.
    const quint32 id = group.getFieldContainerId();
    root->subChild(group.get());
    group.reset();
    EXPECT_EQ(ksTypeConverter::convertNode(ksdNode(id)), NullFC);
}

TEST_F(HandleTest, OperationsForwardBoundToTheCallingHandle)
{
    auto implementation = std::make_shared<NumberingImplementation>();
    implementation->partner = 31;
    ksdObjectManager::instance().registerImplementation(implementation);

    ksdReferenceNode first(11);
    const ksdReferenceNode second(12);
    EXPECT_EQ(first.getSourcePath(), "source-11");
    EXPECT_EQ(second.getSourcePath(), "source-12");
    // The nested call on another handle is bound to that handle, and the
    // outer call finds its own binding again.
    EXPECT_EQ(first.getSmartPath(), "source-31 inside 11");
    EXPECT_EQ(first.createSmartPath(ksReferenceTypes::CustomDirectory, QStringLiteral("/out")), "/out/1/11");
    first.setSourcePath(QStringLiteral("/cad/a.stp"));
    EXPECT_EQ(implementation->lastAction, "11:/cad/a.stp");

    // Operations the implementation leaves alone are neutral, not endless.
    EXPECT_FALSE(first.isLoaded());
    EXPECT_EQ(first.getSourceFileState(), ksReferenceTypes::NoReference);
    first.unload();

    // After the calls the prototype is bound to nothing again.
    EXPECT_EQ(implementation->getObjectId(), 0u);
}

TEST_F(HandleTest, TheNewestImplementationAnswers)
{
    ksdObjectManager& manager = ksdObjectManager::instance();
    manager.registerImplementation(std::make_shared<NumberingImplementation>());
    manager.registerImplementation(std::make_shared<OtherImplementation>());
    EXPECT_EQ(ksdReferenceNode(4).getSourcePath(), "other");
    // A plain handle is no implementation of its own class: without one,
    // operations are neutral.
    manager.clearImplementations();
    manager.registerImplementation(std::make_shared<ksdReferenceNode>());
    EXPECT_EQ(manager.getImplementation(ksdReferenceNode::staticMetaObject), nullptr);
    ksdReferenceNode handle(reference.getFieldContainerId());
    EXPECT_FALSE(handle.hasSourceReference());
    EXPECT_EQ(handle.getState(), ksReferenceTypes::Undefined);
    EXPECT_EQ(handle.getSmartFileState(), ksReferenceTypes::NoReference);
    EXPECT_TRUE(handle.getSourcePath().isEmpty());
    EXPECT_FALSE(handle.getSourceLastModified().isValid());
    EXPECT_TRUE(handle.getSmartRevisions().isEmpty());
    handle.load();
    handle.setSmartPath(QStringLiteral("/x.zmb"));
}

TEST_F(HandleTest, RegistryTiesCoreTypesToHandleTypesAndReportsWhatItCannotCreate)
{
    ksdObjectManager& manager = ksdObjectManager::instance();
    const ksdObjectManager::TypeId referenceType = manager.registerType(&ksdReferenceNode::staticMetaObject);
    EXPECT_NE(referenceType, 0u);
    EXPECT_EQ(manager.registerToPtr<ksdReferenceNode>(ExtReference::getClassTypeId()), referenceType);
    EXPECT_EQ(manager.findType(referenceType), &ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(manager.findType(QByteArray("ksdReferenceNode")), &ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(manager.getExternalType(ExtReference::getClassTypeId()), &ksdReferenceNode::staticMetaObject);
    EXPECT_EQ(manager.getExternalType(Group::getClassTypeId()), nullptr);

    const auto made = manager.createFromExternal<ksdReferenceNode>(reference.getFieldContainerId(),
                                                                   ExtReference::getClassTypeId());
    EXPECT_EQ(made.getObjectId(), reference.getFieldContainerId());
    EXPECT_EQ(made.getType(), &ksdReferenceNode::staticMetaObject);

    // What it cannot create, it reports.
    const ksdObjectManager::TypeId cameraType = manager.registerType(&CameraHandle::staticMetaObject);
    manager.registerExternalType(cameraType, UberCamera::getClassTypeId());
    manager.registerCreator(cameraType, [] { return std::make_shared<CameraHandle>(); });

    CriticalRecorder critical;
    EXPECT_TRUE(manager.createFromExternal<ksdReferenceNode>(group.getFieldContainerId(), Group::getClassTypeId())
                    .isNull());
    EXPECT_TRUE(
        manager.createFromExternal<ksdReferenceNode>(group.getFieldContainerId(), UberCamera::getClassTypeId())
            .isNull());
    // The camera handle is a node handle, so it may be made as one.
    EXPECT_EQ(manager.createFromExternal<ksdNode>(9, UberCamera::getClassTypeId()).getType(),
              &CameraHandle::staticMetaObject);
    manager.checkClassInfos(&CameraHandle::staticMetaObject);

    EXPECT_EQ(critical.messages(),
              QStringList({QStringLiteral("ksdObjectManager::createFromExternal: externalType %1 is not registered!")
                               .arg(Group::getClassTypeId()),
                           QStringLiteral("ksdObjectManager::createFromExternal: externalType '%1' is not a type of "
                                          "'ksdReferenceNode'!")
                               .arg(UberCamera::getClassTypeId()),
                           QStringLiteral("ksdObjectManager::registerType: trying to override unkown property "
                                          "'colour' in class 'CameraHandle'!")}));
}

} // namespace

#include "handle_test.moc"
