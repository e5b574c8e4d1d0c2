// Licensed under the MIT licence; see LICENSE.
// File information of older scenes turned into source references through
// the reference interface, as host modules and the smart file loader call it.
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

AttachmentPtr fileInfoOf(const NodePtr& node)
{
    return node->findAttachment(FileInfo::getClassType().getGroupId());
}

NodeRefPtr makeNamedNode(const std::string& name, NodeCoreRefPtr core)
{
    NodeRefPtr node = Node::create();
    node->setCore(std::move(core));
    ksNodeUtils::setName(node.get(), name, false);
    return node;
}

void replaceFileInfos(const NodePtr& root)
{
    ksReferenceNode::getReferenceInterface()->replaceFileInfosWithReferences(root);
}

} // namespace

TEST(FileInfoReplacement, ClonesOfAGroupGetOneSharedSourceReferenceAbove)
{
    //  root
    //  +- a "A" (Group `shared`, FileInfo "\"/cad/engine v2.stp\"")
    //  |  +- leaf
    //  +- b "B" (Group `shared`)
    //  +- other (Group)
    const NodeRefPtr root = makeGroupNode();
    const GroupRefPtr shared = GroupBase::create();
    const NodeRefPtr a = makeNamedNode("A", shared);
    const NodeRefPtr b = makeNamedNode("B", shared);
    const NodeRefPtr other = makeGroupNode();
    const NodeRefPtr leaf = makeGroupNode();
    addChild(a.get(), leaf);
    for (const NodeRefPtr& node : {a, b, other})
        addChild(root.get(), node);
    setFileInfo(a.get(), "\"/cad/engine v2.stp\"");
    const AttachmentPtr info = fileInfoOf(a.get());

    replaceFileInfos(root.get());

    ASSERT_EQ(root->getNChildren(), 3u);
    const NodePtr wrapperA = root->getChild(0);
    const NodePtr wrapperB = root->getChild(1);
    EXPECT_EQ(root->getChild(2), other.get());
    EXPECT_EQ(wrapperA->getChild(0), a.get());
    EXPECT_EQ(wrapperB->getChild(0), b.get());
    EXPECT_EQ(a->getChild(0), leaf.get());
    EXPECT_EQ(a->getCore(), shared.get());
    EXPECT_EQ(b->getCore(), shared.get());
    EXPECT_EQ(ksNodeUtils::getName(wrapperA), "engine v2");
    EXPECT_EQ(ksNodeUtils::getName(wrapperB), "engine v2");
    EXPECT_EQ(ksNodeUtils::getName(a.get()), "A");

    const ExtReferencePtr core = ExtReferencePtr::dcast(wrapperA->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(wrapperB->getCore(), core);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(core->getSmartFile(), NullFC);
    ASSERT_TRUE(core->getSourceFile());
    EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/engine v2.stp");
    EXPECT_EQ(core->getSourceFile()->getImportDate(), 0u);

    // The file information went up with the reference.
    EXPECT_EQ(fileInfoOf(wrapperA), info);
    EXPECT_EQ(fileInfoOf(a.get()), NullFC);
    EXPECT_EQ(fileInfoOf(wrapperB), NullFC);

    // The pool follows the new core and its source record.
    const ksExtReferenceStatusPtr status =
        ksReferencePool::instance().getStatusSnapshot().value(core.getFieldContainerId());
    ASSERT_TRUE(status);
    EXPECT_EQ(status->source()->path, QByteArray("/cad/engine v2.stp"));
}

TEST(FileInfoReplacement, ATransformCoreIsReplacedInPlace)
{
    //  root (FileInfo "/cad/root.stp", no parent: stays)
    //  +- t1 "Wheel" (Transform3D `wheel` with a core attachment, FileInfo "/cad/wheel.jt")
    //  +- t2 "Spare" (Transform3D `wheel`)
    const NodeRefPtr root = makeGroupNode();
    setFileInfo(root.get(), "/cad/root.stp");
    const Transform3DRefPtr wheel = Transform3DBase::create();
    wheel->setTranslation(Vec3f(1, 2, 3));
    wheel->setScale(Vec3f(2, 2, 2));
    const NameRefPtr coreName = NameBase::create();
    coreName->setName("core attachment");
    wheel->addAttachment(coreName);
    const NodeRefPtr t1 = makeNamedNode("Wheel", wheel);
    const NodeRefPtr t2 = makeNamedNode("Spare", wheel);
    setFileInfo(t1.get(), "/cad/wheel.jt");
    addChild(root.get(), t1);
    addChild(root.get(), t2);

    replaceFileInfos(root.get());

    EXPECT_EQ(root->getCore()->getTypeName(), "Group");
    EXPECT_EQ(root->getParent(), NullFC);
    ASSERT_EQ(root->getNChildren(), 2u);
    EXPECT_EQ(root->getChild(0), t1.get());
    EXPECT_EQ(root->getChild(1), t2.get());
    const ExtReferencePtr core = ExtReferencePtr::dcast(t1->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(t2->getCore(), core);
    EXPECT_EQ(core->getTranslation(), Vec3f(1, 2, 3));
    EXPECT_EQ(core->getScale(), Vec3f(2, 2, 2));
    EXPECT_EQ(core->findAttachment(Name::getClassType().getGroupId()), coreName.get());
    EXPECT_EQ(core->getSourceFile()->getPath(), "/cad/wheel.jt");
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    // The nodes keep their names and their own attachments.
    EXPECT_EQ(ksNodeUtils::getName(t1.get()), "Wheel");
    EXPECT_EQ(ksNodeUtils::getName(t2.get()), "Spare");
    EXPECT_TRUE(fileInfoOf(t1.get()));
}

TEST(FileInfoReplacement, NativeFilesAndReferencesAreLeftAlone)
{
    //  root
    //  +- osb (Group, FileInfo "/scenes/part.osb")
    //  +- zmb (Transform3D, FileInfo "/scenes/Part.ZMB")
    //  +- upper (Group, FileInfo "/scenes/part.OSB": not native by name)
    //  +- ref (ExtReference, source "/cad/keep.stp", FileInfo "/cad/other.stp")
    const NodeRefPtr root = makeGroupNode();
    const NodeRefPtr osb = makeGroupNode();
    setFileInfo(osb.get(), "/scenes/part.osb");
    const NodeRefPtr zmb = Node::create();
    zmb->setCore(Transform3DBase::create());
    setFileInfo(zmb.get(), "/scenes/Part.ZMB");
    const NodeRefPtr upper = makeGroupNode();
    setFileInfo(upper.get(), "/scenes/part.OSB");
    const NodeRefPtr ref = makeReferenceNode("", "/cad/keep.stp");
    setFileInfo(ref.get(), "/cad/other.stp");
    const std::vector<NodeRefPtr> children{osb, zmb, upper, ref};
    for (const NodeRefPtr& node : children)
        addChild(root.get(), node);
    const std::vector<NodeCorePtr> cores{osb->getCore(), zmb->getCore(), upper->getCore(), ref->getCore()};

    replaceFileInfos(root.get());

    ASSERT_EQ(root->getNChildren(), 4u);
    // Only the ".OSB" node changed: the suffix test is case-sensitive.
    for (std::size_t i : {0u, 1u, 3u}) {
        EXPECT_EQ(root->getChild(UInt32(i)), children[i].get()) << i;
        EXPECT_EQ(children[i]->getCore(), cores[i]) << i;
    }
    EXPECT_EQ(coreOf(ref)->getSourceFile()->getPath(), "/cad/keep.stp");
    const ExtReferencePtr wrapped = ExtReferencePtr::dcast(root->getChild(2)->getCore());
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->getSourceFile()->getPath(), "/scenes/part.OSB");
}
