// Licensed under the MIT licence; see LICENSE.
// Per-node file information of older scenes turned into source references,
// through the reference interface as host modules call it.
#include "ModelTestSupport.h"

#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"

using namespace osg;
using namespace modeltest;

namespace {

void setFileInfo(const NodePtr& node, const std::string& path)
{
    const FileInfoRefPtr info = FileInfoBase::create();
    info->setPath(path);
    node->addAttachment(info);
}

NodeRefPtr makeNode(NodeCoreRefPtr core, const std::string& fileInfo = std::string())
{
    NodeRefPtr node = Node::create();
    node->setCore(std::move(core));
    if (!fileInfo.empty())
        setFileInfo(node.get(), fileInfo);
    return node;
}

AttachmentPtr fileInfoOf(const NodePtr& node)
{
    return node->findAttachment(FileInfo::getClassType().getGroupId());
}

void replaceFileInfos(const NodePtr& root)
{
    ksReferenceNode::getReferenceInterface()->replaceFileInfosWithReferences(root);
}

} // namespace

TEST(FileInfoReplacement, NodesOfOneGroupCoreGetOneSharedSourceReferenceAbove)
{
    //  root
    //  +- a (Group `shared`, FileInfo "\"/cad/engine v2.stp\"")
    //  |  +- leaf
    //  +- b (Group `shared`)
    //  +- other (Group)
    const NodeRefPtr root = addGroup();
    const GroupRefPtr shared = GroupBase::create();
    const NodeRefPtr a = makeNode(shared, "\"/cad/engine v2.stp\"");
    const NodeRefPtr b = makeNode(shared);
    const NodeRefPtr leaf = addGroup(a.get());
    for (const NodeRefPtr& node : {a, b, addGroup()})
        addChild(root.get(), node);
    const AttachmentPtr info = fileInfoOf(a.get());

    replaceFileInfos(root.get());

    ASSERT_EQ(root->getNChildren(), 3u);
    const NodePtr wrapperA = root->getChild(0);
    const NodePtr wrapperB = root->getChild(1);
    EXPECT_EQ(wrapperA->getChild(0), a.get());
    EXPECT_EQ(wrapperB->getChild(0), b.get());
    EXPECT_EQ(a->getChild(0), leaf.get());
    EXPECT_EQ(a->getCore(), shared.get());
    EXPECT_EQ(ksNodeUtils::getName(wrapperA), "engine v2");
    EXPECT_EQ(ksNodeUtils::getName(wrapperB), "engine v2");
    const ExtReferencePtr core = ExtReferencePtr::dcast(wrapperA->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(wrapperB->getCore(), core);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(core->getSmartFile(), NullFC);
    EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/engine v2.stp");
    // The file information went up with the reference.
    EXPECT_EQ(fileInfoOf(wrapperA), info);
    EXPECT_EQ(fileInfoOf(a.get()), NullFC);
    // The pool follows the new core.
    const ksExtReferenceStatusPtr status =
        ksReferencePool::instance().getStatusSnapshot().value(core.getFieldContainerId());
    ASSERT_TRUE(status);
    EXPECT_EQ(status->source()->path, QByteArray("/cad/engine v2.stp"));
}

TEST(FileInfoReplacement, ATransformCoreIsReplacedInPlace)
{
    //  root (FileInfo, no parent: stays)
    //  +- t1 "Wheel" (Transform3D `wheel` with a core attachment, FileInfo "/cad/wheel.jt")
    //  +- t2 "Spare" (Transform3D `wheel`)
    const NodeRefPtr root = makeNode(GroupBase::create(), "/cad/root.stp");
    const Transform3DRefPtr wheel = Transform3DBase::create();
    wheel->setTranslation(Vec3f(1, 2, 3));
    const NameRefPtr coreName = NameBase::create();
    wheel->addAttachment(coreName);
    const NodeRefPtr t1 = makeNode(wheel, "/cad/wheel.jt");
    const NodeRefPtr t2 = makeNode(wheel);
    ksNodeUtils::setName(t1.get(), "Wheel", false);
    addChild(root.get(), t1);
    addChild(root.get(), t2);

    replaceFileInfos(root.get());

    EXPECT_EQ(root->getCore()->getTypeName(), "Group");
    ASSERT_EQ(root->getNChildren(), 2u);
    EXPECT_EQ(root->getChild(0), t1.get());
    const ExtReferencePtr core = ExtReferencePtr::dcast(t1->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(t2->getCore(), core);
    EXPECT_EQ(core->getTranslation(), Vec3f(1, 2, 3));
    EXPECT_EQ(core->findAttachment(Name::getClassType().getGroupId()), coreName.get());
    EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/wheel.jt");
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(ksNodeUtils::getName(t1.get()), "Wheel");
    EXPECT_TRUE(fileInfoOf(t1.get()));
}

TEST(FileInfoReplacement, NativeFilesAndReferencesAreLeftAlone)
{
    //  root
    //  +- osb (Group, "/scenes/part.osb")     +- zmb (Transform3D, "/scenes/Part.ZMB")
    //  +- ref (ExtReference, source "/cad/keep.stp", FileInfo "/cad/other.stp")
    //  +- upper (Group, "/scenes/part.OSB": the suffix test is case-sensitive)
    const NodeRefPtr root = addGroup();
    const NodeRefPtr ref = makeReferenceNode("", "/cad/keep.stp");
    setFileInfo(ref.get(), "/cad/other.stp");
    const std::vector<NodeRefPtr> children{makeNode(GroupBase::create(), "/scenes/part.osb"),
                                           makeNode(Transform3DBase::create(), "/scenes/Part.ZMB"), ref,
                                           makeNode(GroupBase::create(), "/scenes/part.OSB")};
    std::vector<NodeCorePtr> cores;
    for (const NodeRefPtr& node : children) {
        addChild(root.get(), node);
        cores.push_back(node->getCore());
    }

    replaceFileInfos(root.get());

    ASSERT_EQ(root->getNChildren(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(root->getChild(UInt32(i)), children[i].get()) << i;
        EXPECT_EQ(children[i]->getCore(), cores[i]) << i;
    }
    EXPECT_EQ(coreOf(ref)->getSourceFile()->getPath(), "/cad/keep.stp");
    const ExtReferencePtr wrapped = ExtReferencePtr::dcast(root->getChild(3)->getCore());
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->getSourceFile()->getPath(), "/scenes/part.OSB");
}
