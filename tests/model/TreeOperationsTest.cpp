// Licensed under the MIT licence; see LICENSE.
// Loading, unloading and removing references, and moving the content of
// smart sub-references aside and back.
#include "ModelTestSupport.h"

#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/SceneFileHandler.h"

using namespace osg;
using namespace modeltest;
using Names = std::vector<std::string>;

namespace {

NodeRefPtr add(const NodePtr& parent, const std::string& name, NodeRefPtr node = addGroup())
{
    ksNodeUtils::setName(node.get(), name, false);
    if (parent)
        addChild(parent, node);
    return node;
}

NodeRefPtr addRef(const NodePtr& parent, const std::string& name, const std::string& smart,
                  UInt32 state = ksReferenceTypes::NotLoaded, const std::string& source = "/cad/x.step")
{
    return add(parent, name, makeReferenceNode(smart, source, state));
}

Names childNames(const NodePtr& node)
{
    Names names;
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

// An ".osb" file whose root, named "Root", gives its children to the node.
std::string writeSmartFile(TempFiles& files, const QString& name, const Names& children)
{
    const NodeRefPtr root = add(NullFC, "Root");
    for (const std::string& child : children)
        add(root.get(), child);
    EXPECT_TRUE(SceneFileHandler::the().write(root.get(), files.path(name)));
    return files.path(name);
}

bool isChanged(const NodeRefPtr& node) { return ksReferencePool::instance().isChanged(coreOf(node)); }

TEST(TreeOperations, LoadCopiesAContentLoadedElsewhereWithoutReadingTheFile)
{
    TempFiles files;
    const std::string path = writeSmartFile(files, "wheel.osb", {"rim", "tyre"});
    const NodeRefPtr first = addRef(NullFC, "first", path);
    const NodeRefPtr second = addRef(NullFC, "second", path);
    ASSERT_TRUE(ksReferenceNode(first.get()).load());

    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ASSERT_TRUE(ksReferenceNode(second.get()).load());
    EXPECT_EQ(childNames(second.get()), (Names{"rim", "tyre"}));
    EXPECT_NE(second->getChild(0), first->getChild(0));
    EXPECT_EQ(second->getChild(0)->getCore(), first->getChild(0)->getCore());
    EXPECT_EQ(coreOf(second)->getState(), UInt32(ksReferenceTypes::NotLoaded));

    // With the only loaded node unloaded, nothing stands in for the file.
    ksReferenceNode(first.get()).unload();
    const NodeRefPtr third = addRef(NullFC, "third", path);
    EXPECT_FALSE(ksReferenceNode(third.get()).load());
}

TEST(TreeOperations, LoadUnloadAndRemoveWithoutAFileToRead)
{
    // No smart record: nothing to load, the content stays as it is.
    const NodeRefPtr sourceOnly = addRef(NullFC, "source", "", ksReferenceTypes::Undefined);
    add(sourceOnly.get(), "own");
    EXPECT_TRUE(ksReferenceNode(sourceOnly.get()).load());
    EXPECT_EQ(childNames(sourceOnly.get()), Names{"own"});
    EXPECT_EQ(coreOf(sourceOnly)->getState(), UInt32(ksReferenceTypes::Undefined));
    const NodeRefPtr group = add(NullFC, "group");
    EXPECT_FALSE(ksReferenceNode(group.get()).load());

    // A smart record without path goes with the content, also the clone's.
    const NodeRefPtr noPath = addRef(NullFC, "noPath", "", ksReferenceTypes::Loaded);
    edit(coreOf(noPath), ExtReference::SmartFileFieldMask,
         [&] { coreOf(noPath)->setSmartFile(makeRecord("", ksReferenceTypes::NoPath)); });
    add(noPath.get(), "a");
    const NodeRefPtr clone = add(NullFC, "clone", Node::create());
    clone->setCore(NodeCoreRefPtr(noPath->getCore()));
    ksNodeUtils::syncCloneTree(noPath.get(), clone.get());
    ksReferenceNode(noPath.get()).unload();
    EXPECT_EQ(coreOf(noPath)->getSmartFile(), NullFC);
    EXPECT_TRUE(coreOf(noPath)->getSourceFile());
    EXPECT_EQ(noPath->getNChildren() + clone->getNChildren(), 0u);
    EXPECT_EQ(coreOf(noPath)->getState(), UInt32(ksReferenceTypes::NotLoaded));

    // Removing the reference leaves a plain transform without FileInfo.
    const NodeRefPtr node = addRef(NullFC, "node", "/p/gear.zmb", ksReferenceTypes::Loaded);
    FileInfoRefPtr info = FileInfo::create();
    info->setPath("/cad/gear.step");
    node->addAttachment(info, 0);
    const UInt32 oldCore = node->getCore().getFieldContainerId();
    ksReferenceNode reference(node.get());
    ASSERT_TRUE(reference.removeReference());
    EXPECT_FALSE(reference.isValid());
    EXPECT_EQ(node->getCore()->getType().getId(), Transform3D::getClassTypeId());
    EXPECT_EQ(ksNodeUtils::getFileInfo(node.get()), "");
    EXPECT_FALSE(ksReferencePool::instance().getStatusSnapshot().contains(oldCore));
}

// root        smart
// ├── own
// ├── a
// │   └── R1  smart ── r1, N (smart) ── n1
// ├── S       source only ── s1
// └── R2      smart ── r2a, r2b, r2c
TEST(TreeOperations, DetachMovesOutermostSmartContentAsideAndAttachRestoresIt)
{
    const NodeRefPtr root = addRef(NullFC, "root", "/p/root.zmb");
    add(root.get(), "own");
    const NodeRefPtr a = add(root.get(), "a");
    const NodeRefPtr R1 = addRef(a.get(), "R1", "/p/r1.zmb");
    add(R1.get(), "r1");
    const NodeRefPtr N = addRef(R1.get(), "N", "/p/n.zmb");
    add(N.get(), "n1");
    const NodeRefPtr S = addRef(root.get(), "S", "");
    add(S.get(), "s1");
    const NodeRefPtr R2 = addRef(root.get(), "R2", "/p/r2.zmb");
    for (const char* name : {"r2a", "r2b", "r2c"})
        add(R2.get(), name);

    ksReferenceNode::DetachedList detached = ksReferenceNode::detachSubReferences(root.get());
    ASSERT_EQ(detached.size(), 2u);
    EXPECT_EQ(detached[0].first, R1);
    EXPECT_EQ(detached[1].first, R2);
    EXPECT_EQ(childNames(root.get()), (Names{"own", "a", "S", "R2"}));
    EXPECT_EQ(childNames(S.get()), Names{"s1"});
    EXPECT_EQ(R1->getNChildren() + R2->getNChildren(), 0u);
    EXPECT_EQ(childNames(detached[0].second.get()), (Names{"r1", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});

    ksReferenceNode::attachSubReferences(detached);
    EXPECT_EQ(childNames(R1.get()), (Names{"r1", "N"}));
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
    EXPECT_EQ(childNames(R2.get()), (Names{"r2a", "r2b", "r2c"}));
    // The list is the holders' only owner.
    const UInt32 holder = detached[0].second.getFieldContainerId();
    detached.clear();
    EXPECT_EQ(FieldContainerFactory::the()->getContainer(holder), NullFC);
}

TEST(TreeOperations, PuttingContentBackKeepsEachChangeMark)
{
    TempFiles files;
    const NodeRefPtr root = add(NullFC, "root");
    const NodeRefPtr clean = addRef(root.get(), "clean", writeSmartFile(files, "clean.osb", {"c1", "c2"}));
    const NodeRefPtr edited = addRef(root.get(), "edited", writeSmartFile(files, "edited.osb", {"e1"}));
    ASSERT_TRUE(ksReferenceNode(clean.get()).load() && ksReferenceNode(edited.get()).load());
    ksNodeUtils::setName(edited->getChild(0), "e1 renamed", true);
    ASSERT_TRUE(!isChanged(clean) && isChanged(edited));

    ksReferenceNode::attachSubReferences(ksReferenceNode::detachSubReferences(root.get()));
    EXPECT_EQ(childNames(clean.get()), (Names{"c1", "c2"}));
    EXPECT_FALSE(isChanged(clean));
    EXPECT_TRUE(isChanged(edited));
    // Still watched: a real edit afterwards counts.
    ksNodeUtils::setName(clean->getChild(1), "c2 renamed", true);
    EXPECT_TRUE(isChanged(clean));
}

} // namespace
