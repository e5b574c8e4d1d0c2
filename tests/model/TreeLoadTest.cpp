// Licensed under the MIT licence; see LICENSE.
// Putting smart content into a reference node, taking it out, and turning a
// reference back into a plain transform node.
#include "TreeTestSupport.h"

#include <QFile>

using namespace osg;
using namespace modeltest;
using namespace treetest;
using Names = std::vector<std::string>;

namespace {

class TreeLoadTest : public ::testing::Test
{
protected:
    TempFiles files;
};

TEST_F(TreeLoadTest, ASecondNodeOfALoadedFileCopiesTheContentWithoutReadingTheFile)
{
    const std::string path = writeSmartFile(files, "wheel.osb", {"rim", "tyre"});
    const NodeRefPtr first = addReference(NullFC, "first", path, {}, ksReferenceTypes::NotLoaded);
    const NodeRefPtr second = addReference(NullFC, "second", path, {}, ksReferenceTypes::NotLoaded);

    ASSERT_TRUE(ksReferenceNode(first.get()).load());
    EXPECT_EQ(childNames(first.get()), (Names{"rim", "tyre"}));
    EXPECT_EQ(coreOf(first)->getState(), UInt32(ksReferenceTypes::Loaded));

    // From here on a read of the file would fail.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ASSERT_TRUE(ksReferenceNode(second.get()).load());
    EXPECT_EQ(childNames(second.get()), (Names{"rim", "tyre"}));
    // A clone tree: the copies share the loaded nodes' cores.
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_NE(second->getChild(i), first->getChild(i));
        EXPECT_EQ(second->getChild(i)->getCore(), first->getChild(i)->getCore());
    }
    // The copy is no load of the file: neither the state nor the smart
    // file object took part.
    EXPECT_EQ(coreOf(second)->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_FALSE(pool().isSmartFileLoaded(coreOf(second)));

    // Once the only loaded node is unloaded, nothing can stand in for the file.
    ksReferenceNode(first.get()).unload();
    const NodeRefPtr third = addReference(NullFC, "third", path, {}, ksReferenceTypes::NotLoaded);
    EXPECT_FALSE(ksReferenceNode(third.get()).load());
    EXPECT_EQ(third->getNChildren(), 0u);
}

TEST_F(TreeLoadTest, EveryNodeOfTheCoreGetsTheCopiedContent)
{
    const std::string path = writeSmartFile(files, "seat.osb", {"frame"});
    const NodeRefPtr loaded = addReference(NullFC, "loaded", path, {}, ksReferenceTypes::NotLoaded);
    ASSERT_TRUE(ksReferenceNode(loaded.get()).load());

    const NodeRefPtr node = addReference(NullFC, "node", path, {}, ksReferenceTypes::NotLoaded);
    const NodeRefPtr clone = named(Node::create(), "clone");
    clone->setCore(NodeCoreRefPtr(node->getCore()));

    EXPECT_TRUE(ksReferenceNode(clone.get()).syncWithLoadedClone());
    EXPECT_EQ(childNames(node.get()), Names{"frame"});
    EXPECT_EQ(childNames(clone.get()), Names{"frame"});
}

TEST_F(TreeLoadTest, LoadWithNothingToLoadSucceedsAndChangesNothing)
{
    const std::string path = writeSmartFile(files, "door.osb", {"handle"});

    // No smart record: content is the node's own.
    const NodeRefPtr sourceOnly = addReference(NullFC, "source", {}, "/cad/door.step", ksReferenceTypes::Undefined);
    addGroup(sourceOnly.get(), "own");
    EXPECT_TRUE(ksReferenceNode(sourceOnly.get()).load());
    EXPECT_EQ(childNames(sourceOnly.get()), Names{"own"});
    EXPECT_EQ(coreOf(sourceOnly)->getState(), UInt32(ksReferenceTypes::Undefined));
    EXPECT_EQ(coreOf(sourceOnly)->getSmartFile(), NullFC);
    EXPECT_FALSE(ksReferenceNode(sourceOnly.get()).syncWithLoadedClone());

    // Already loaded: the file is not read a second time.
    const NodeRefPtr loaded = addReference(NullFC, "loaded", path, {}, ksReferenceTypes::NotLoaded);
    ASSERT_TRUE(ksReferenceNode(loaded.get()).load());
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    EXPECT_TRUE(ksReferenceNode(loaded.get()).load());
    EXPECT_EQ(childNames(loaded.get()), Names{"handle"});

    // Not a reference at all.
    const NodeRefPtr group = addGroup(NullFC, "group");
    EXPECT_FALSE(ksReferenceNode(group.get()).load());
    EXPECT_FALSE(ksReferenceNode(group.get()).syncWithLoadedClone());
    EXPECT_FALSE(ksReferenceNode(NullFC).load());
}

TEST_F(TreeLoadTest, UnloadingASmartRecordWithoutPathDropsItWithTheContent)
{
    const NodeRefPtr node = addReference(NullFC, "node", {}, "/cad/door.step");
    const FileReferenceRefPtr record = makeRecord("", ksReferenceTypes::NoPath);
    edit(coreOf(node), ExtReference::SmartFileFieldMask, [&] { coreOf(node)->setSmartFile(record); });
    addGroup(node.get(), "a");
    addGroup(node.get(), "b");
    const NodeRefPtr clone = named(Node::create(), "clone");
    clone->setCore(NodeCoreRefPtr(node->getCore()));
    ksNodeUtils::syncCloneTree(node.get(), clone.get());
    ASSERT_EQ(clone->getNChildren(), 2u);

    ksReferenceNode(node.get()).unload();

    EXPECT_EQ(coreOf(node)->getSmartFile(), NullFC);
    EXPECT_EQ(coreOf(node)->getSourceFile()->getPath(), "/cad/door.step");
    EXPECT_EQ(node->getNChildren(), 0u);
    EXPECT_EQ(clone->getNChildren(), 0u);
    EXPECT_EQ(coreOf(node)->getState(), UInt32(ksReferenceTypes::NotLoaded));
}

TEST_F(TreeLoadTest, UnloadKeepsRecordsThatNameAFile)
{
    const std::string path = writeSmartFile(files, "hood.osb", {"panel"});

    // Loaded from the file: the smart file takes the content out.
    const NodeRefPtr loaded = addReference(NullFC, "loaded", path, {}, ksReferenceTypes::NotLoaded);
    ASSERT_TRUE(ksReferenceNode(loaded.get()).load());
    ksReferenceNode(loaded.get()).unload();
    EXPECT_EQ(loaded->getNChildren(), 0u);
    EXPECT_FALSE(pool().isSmartFileLoaded(coreOf(loaded)));
    EXPECT_EQ(coreOf(loaded)->getSmartFile()->getPath(), path);
    EXPECT_EQ(coreOf(loaded)->getState(), UInt32(ksReferenceTypes::NotLoaded));

    // Content that did not come through the smart file (a copy, or the
    // node's own) is deleted all the same; the records stay.
    for (const std::string& smartPath : {path, std::string()}) {
        const NodeRefPtr node = addReference(NullFC, "node", smartPath, "/cad/hood.step");
        addGroup(node.get(), "own");
        ksReferenceNode(node.get()).unload();
        EXPECT_EQ(node->getNChildren(), 0u) << smartPath;
        EXPECT_EQ(coreOf(node)->getState(), UInt32(ksReferenceTypes::NotLoaded));
        EXPECT_EQ(bool(coreOf(node)->getSmartFile()), !smartPath.empty());
        EXPECT_TRUE(coreOf(node)->getSourceFile());
    }

    // Not a reference: nothing happens.
    const NodeRefPtr group = addGroup(NullFC, "group");
    addGroup(group.get(), "child");
    ksReferenceNode(group.get()).unload();
    EXPECT_EQ(group->getNChildren(), 1u);
}

TEST_F(TreeLoadTest, RemovingAReferenceLeavesAPlainTransformWithoutFileInfo)
{
    const NodeRefPtr node = addReference(NullFC, "node", "/p/gear.zmb", "/cad/gear.step");
    const Matrix moved = Matrix::translation(Vec3f(1, 2, 3));
    edit(coreOf(node), Transform::MatrixFieldMask, [&] { coreOf(node)->setMatrix(moved); });
    addGroup(node.get(), "content");
    const NodeRefPtr clone = named(Node::create(), "clone");
    clone->setCore(NodeCoreRefPtr(node->getCore()));
    for (const NodeRefPtr& n : {node, clone}) {
        FileInfoRefPtr info = FileInfo::create();
        info->setPath("/cad/gear.step");
        n->addAttachment(info, 0);
    }
    const UInt32 oldCore = node->getCore().getFieldContainerId();

    ksReferenceNode reference(node.get());
    ASSERT_TRUE(reference.removeReference());

    EXPECT_FALSE(reference.isValid());
    EXPECT_EQ(reference.getExtReference(), NullFC);
    for (const NodeRefPtr& n : {node, clone}) {
        const NodeCorePtr core = n->getCore();
        EXPECT_EQ(core->getType().getId(), Transform3D::getClassTypeId());
        EXPECT_EQ(Transform3DPtr::dcast(core)->getMatrix(), moved);
        EXPECT_EQ(ksNodeUtils::getFileInfo(n.get()), "");
        EXPECT_EQ(ksNodeUtils::getName(n.get()), n == node ? "node" : "clone");
    }
    EXPECT_EQ(node->getCore(), clone->getCore());
    EXPECT_EQ(childNames(node.get()), Names{"content"});
    // The old core and its records are gone, and the pool forgot the core.
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(oldCore), NullFC);
    EXPECT_FALSE(pool().getStatusSnapshot().contains(oldCore));

    const NodeRefPtr group = addGroup(NullFC, "group");
    EXPECT_FALSE(ksReferenceNode(group.get()).removeReference());
    EXPECT_EQ(group->getCore()->getType().getId(), Group::getClassTypeId());
}

} // namespace
