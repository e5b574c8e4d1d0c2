// Licensed under the MIT licence; see LICENSE.
// Loading and saving references, moving the content of smart sub-references
// aside and back, and turning per-node file information into references.
#include "ModelTestSupport.h"

#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceInterface.h"

#include <QDateTime>
#include <QFileInfo>

using namespace osg;
using namespace modeltest;
using Names = std::vector<std::string>;

namespace {

NodeRefPtr addRef(const NodePtr& parent, const std::string& name, const std::string& smart,
                  UInt32 state = ksReferenceTypes::NotLoaded)
{
    const NodeRefPtr node = reference(name, smart, "/cad/x.step", state);
    if (parent)
        addChild(parent, node);
    return node;
}

bool isChanged(const NodeRefPtr& node) { return ksReferencePool::instance().isChanged(coreOf(node)); }

NodeRefPtr withFileInfo(NodeRefPtr node, const std::string& path)
{
    const FileInfoRefPtr info = FileInfo::create();
    info->setPath(path);
    node->addAttachment(info);
    return node;
}

AttachmentPtr fileInfoOf(const NodePtr& node)
{
    return node->findAttachment(FileInfo::getClassType().getGroupId());
}

TEST(TreeOperations, LoadCopiesALoadedCloneAndSavesWriteOnlyChangedContent)
{
    ksReferencePool& pool = ksReferencePool::instance();
    TempFiles files;
    const std::string path = files.writeScene("wheel.osb", {"rim", "tyre"});
    const auto fileTime = [&] { return QFileInfo(QString::fromStdString(path)).lastModified().toSecsSinceEpoch(); };
    const NodeRefPtr first = addRef(NullFC, "first", path);
    const NodeRefPtr second = addRef(NullFC, "second", path);
    ASSERT_TRUE(ksReferenceNode(first.get()).load());
    EXPECT_FALSE(isChanged(first));

    TempFiles::setModificationTime(path, 1600000000);
    EXPECT_TRUE(pool.saveSmartReference(coreOf(first)));
    EXPECT_EQ(fileTime(), 1600000000) << "unchanged content is not written";
    setTravMask(first->getChild(0), 0);
    EXPECT_TRUE(pool.saveSmartReference(coreOf(first)));
    EXPECT_FALSE(isChanged(first));
    EXPECT_NE(fileTime(), 1600000000);
    // A copy elsewhere leaves the change mark as it was.
    setTravMask(first->getChild(0), 1);
    EXPECT_TRUE(pool.saveSmartReferenceAs(coreOf(first), QString::fromStdString(files.path("copy.osb"))));
    EXPECT_TRUE(isChanged(first));
    EXPECT_TRUE(pool.saveSmartReference(coreOf(first)));
    // The content comes from the loaded (and saved) node, not from the file.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    ASSERT_TRUE(ksReferenceNode(second.get()).load());
    EXPECT_EQ(childNames(second.get()), (Names{"rim", "tyre"}));
    EXPECT_NE(second->getChild(0), first->getChild(0));
    EXPECT_EQ(second->getChild(0)->getCore(), first->getChild(0)->getCore());
    // With no loaded node left, nothing stands in for the file.
    ksReferenceNode(first.get()).unload();
    ksReferenceNode(second.get()).unload();
    EXPECT_EQ(first->getNChildren(), 0u);
    const NodeRefPtr third = addRef(NullFC, "third", path);
    EXPECT_FALSE(ksReferenceNode(third.get()).load());
}

// root
// ├── a ── clean  smart, loaded: c1, c2
// ├── S           source only: s1
// └── edited      smart, loaded: e1 ── N (smart) ── n1
TEST(TreeOperations, DetachMovesOutermostSmartContentAsideAndAttachRestoresItWithItsChangeMarks)
{
    TempFiles files;
    const NodeRefPtr root = add(NullFC, "root");
    const NodeRefPtr a = add(root.get(), "a");
    const NodeRefPtr clean = addRef(a.get(), "clean", files.writeScene("clean.osb", {"c1", "c2"}));
    const NodeRefPtr S = addRef(root.get(), "S", "");
    add(S.get(), "s1");
    const NodeRefPtr edited = addRef(root.get(), "edited", files.writeScene("edited.osb", {"e1"}));
    ASSERT_TRUE(ksReferenceNode(clean.get()).load() && ksReferenceNode(edited.get()).load());
    const NodeRefPtr N = addRef(edited->getChild(0), "N", "/p/n.zmb");
    add(N.get(), "n1");
    ASSERT_TRUE(!isChanged(clean) && isChanged(edited));

    ksReferenceNode::DetachedList detached = ksReferenceNode::detachSubReferences(root.get());
    ASSERT_EQ(detached.size(), 2u);
    EXPECT_EQ(detached[0].first, clean);
    EXPECT_EQ(detached[1].first, edited);
    EXPECT_EQ(childNames(S.get()), Names{"s1"});
    EXPECT_EQ(clean->getNChildren() + edited->getNChildren(), 0u);

    ksReferenceNode::attachSubReferences(detached);
    EXPECT_EQ(childNames(clean.get()), (Names{"c1", "c2"}));
    EXPECT_EQ(childNames(edited->getChild(0)), Names{"N"});
    EXPECT_EQ(childNames(N.get()), Names{"n1"});
    EXPECT_FALSE(isChanged(clean)) << "moving content aside and back is no edit of it";
    EXPECT_TRUE(isChanged(edited));

    // An edit made while the content is away is kept.
    detached = ksReferenceNode::detachSubReferences(root.get());
    add(clean.get(), "c0");
    ksReferenceNode::attachSubReferences(detached);
    EXPECT_EQ(childNames(clean.get()), (Names{"c0", "c1", "c2"}));
    EXPECT_TRUE(isChanged(clean));
}

//  root
//  +- a (Group `shared`, FileInfo "\"/cad/engine v2.stp\"")
//  |  +- leaf
//  +- b (Group `shared`)
//  +- osb (Group, "/scenes/part.osb")     +- zmb (Transform3D, "/scenes/Part.ZMB")
//  +- ref (ExtReference, source "/cad/keep.stp", FileInfo "/cad/other.stp")
//  +- upper (Group, "/scenes/part.OSB": the suffix test is case-sensitive)
//  +- Wheel, Spare (Transform3D `wheel`, with a core attachment; FileInfo "/cad/wheel.jt" on Wheel)
TEST(FileInfoReplacement, GroupsGetOneSharedReferenceAboveTransformsOneInPlaceNativeFilesNone)
{
    const NodeRefPtr root = add(NullFC, "root");
    const GroupRefPtr shared = Group::create();
    const NodeRefPtr a = withFileInfo(add(root.get(), "a", shared), "\"/cad/engine v2.stp\"");
    add(a.get(), "leaf");
    add(root.get(), "b", shared);
    withFileInfo(add(root.get(), "osb"), "/scenes/part.osb");
    const NodeRefPtr zmb = withFileInfo(add(root.get(), "zmb", Transform3D::create()), "/scenes/Part.ZMB");
    const NodeCorePtr zmbCore = zmb->getCore();
    addChild(root.get(), withFileInfo(reference("ref", "", "/cad/keep.stp"), "/cad/other.stp"));
    withFileInfo(add(root.get(), "upper"), "/scenes/part.OSB");
    const Transform3DRefPtr wheel = Transform3D::create();
    wheel->setTranslation(Vec3f(1, 2, 3));
    const NameRefPtr coreName = Name::create();
    wheel->addAttachment(coreName);
    const NodeRefPtr t1 = withFileInfo(add(root.get(), "Wheel", wheel), "/cad/wheel.jt");
    add(root.get(), "Spare", wheel);
    const AttachmentPtr info = fileInfoOf(a.get());

    ksReferenceNode::getReferenceInterface()->replaceFileInfosWithReferences(root.get());

    EXPECT_EQ(dump(root.get()), "root(engine v2[-|'/cad/engine v2.stp'](a(leaf)), engine v2[-|'/cad/engine v2.stp'](b), "
                                "osb, zmb, ref[-|'/cad/keep.stp'], part[-|'/scenes/part.OSB'](upper), "
                                "Wheel[-|'/cad/wheel.jt'], Spare[-|'/cad/wheel.jt'])");
    const ExtReferencePtr core = coreOf(root->getChild(0));
    EXPECT_EQ(root->getChild(1)->getCore(), core);
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_EQ(zmb->getCore(), zmbCore);
    EXPECT_EQ(root->getChild(7)->getCore(), coreOf(t1));
    EXPECT_EQ(coreOf(t1)->getTranslation(), Vec3f(1, 2, 3));
    EXPECT_EQ(coreOf(t1)->findAttachment(Name::getClassType().getGroupId()), coreName.get());
    // The file information went up with the reference.
    EXPECT_EQ(fileInfoOf(root->getChild(0)), info);
    EXPECT_EQ(fileInfoOf(a.get()), NullFC);
}

} // namespace
