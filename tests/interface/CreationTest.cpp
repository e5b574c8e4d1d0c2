// Licensed under the MIT licence; see LICENSE.
// The interface's operations that save smart references, turn imported
// nodes into source references and bring clones of one smart file in step.
#include "InterfaceTestSupport.h"

#include "scene/ksFileIO.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QFile>

#include <ctime>

using namespace osg;
using namespace interfacetest;

namespace {

class Creation : public LiveSceneTest
{
protected:
    void TearDown() override
    {
        ksFileIO::setImportCreateReferences(true);
        LiveSceneTest::TearDown();
    }

    TempFiles m_files;
};

TEST_F(Creation, ATransformNodeBecomesTheReferenceAndKeepsItsTransform)
{
    const std::string path = m_files.file("engine.v3.stp", "solid");
    Transform3DRefPtr transform = Transform3D::create();
    transform->setTranslation(Vec3f(1, 2, 3));
    transform->setScale(Vec3f(2, 2, 2));
    const NodeRefPtr imported = add(ksScenegraph::getRoot(), "ExtReference", transform);
    const NodeRefPtr child = add(imported.get(), "Part", Group::create());

    const std::time_t before = std::time(nullptr);
    const NodePtr result = refs().createImportedSourceReference(path, imported.get());
    EXPECT_EQ(result, imported.get());
    const ExtReferencePtr core = coreOf(result);
    ASSERT_TRUE(core);
    EXPECT_EQ(core->getTranslation(), Vec3f(1, 2, 3));
    EXPECT_EQ(core->getScale(), Vec3f(2, 2, 2));
    EXPECT_EQ(core->getState(), UInt32(ksReferenceTypes::Loaded));
    EXPECT_FALSE(core->getSmartFile());
    const FileReferencePtr source = core->getSourceFile();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->getPath(), path);
    EXPECT_GE(source->getImportDate(), UInt64(before));
    EXPECT_LE(source->getImportDate(), UInt64(std::time(nullptr)));
    EXPECT_EQ(source->getChecksum(), ksFile::getChecksum(path, 0)) << "the file information was not taken";
    EXPECT_EQ(ksNodeUtils::getName(result), "engine.v3");
    EXPECT_EQ(childNames(result), std::vector<std::string>{"Part"});

    // Any other name is the user's and stays.
    const NodeRefPtr named = add(ksScenegraph::getRoot(), "Chassis", Transform3D::create());
    refs().createImportedSourceReference(path, named.get());
    EXPECT_EQ(ksNodeUtils::getName(named.get()), "Chassis");
    EXPECT_TRUE(coreOf(named.get()));
}

// Existing references and, with creation switched off, any node are left
// alone; a fresh node is made when there is nothing to wrap.
TEST_F(Creation, OtherNodesAreWrappedWithTheirFileInfoAndReferencesLeftAlone)
{
    const std::string path = m_files.file("wheel.jt");
    const NodeRefPtr imported = add(NullFC, "Wheel root", Group::create());
    FileInfoRefPtr info = FileInfo::create();
    info->setPath(path);
    imported->addAttachment(info, 0);

    const NodeRefPtr wrapper(refs().createImportedSourceReference(path, imported.get()));
    ASSERT_TRUE(wrapper);
    EXPECT_NE(wrapper.get(), imported.get());
    const ExtReferencePtr core = coreOf(wrapper.get());
    ASSERT_TRUE(core && core->getSourceFile());
    EXPECT_EQ(core->getSourceFile()->getPath(), path);
    EXPECT_EQ(ksNodeUtils::getName(wrapper.get()), "wheel");
    ASSERT_EQ(wrapper->getNChildren(), 1u);
    EXPECT_EQ(wrapper->getChild(0), imported.get());
    const UInt16 group = FileInfo::getClassType().getGroupId();
    EXPECT_EQ(wrapper->findAttachment(group, 0), AttachmentPtr(info.get()));
    EXPECT_FALSE(imported->findAttachment(group, 0));

    // The reference node alone, alive for the caller.
    const NodeRefPtr alone(refs().createImportedSourceReference(path, NullFC));
    ASSERT_TRUE(alone && coreOf(alone.get()));
    EXPECT_EQ(alone->getNChildren(), 0u);
    const NodeRefPtr reference = add(NullFC, "R", smartCore("/p/r.zmb", ksReferenceTypes::UpToDate, true));
    const NodeCorePtr referenceCore = reference->getCore();
    EXPECT_EQ(refs().createImportedSourceReference("/cad/x.stp", reference.get()), reference.get());
    EXPECT_EQ(reference->getCore(), referenceCore);

    ksFileIO::setImportCreateReferences(false);
    const NodeRefPtr plain = add(NullFC, "G", Group::create());
    EXPECT_EQ(refs().createImportedSourceReference("/cad/x.stp", plain.get()), plain.get());
    EXPECT_EQ(plain->getCore()->getType().getId(), Group::getClassType().getId());
    const NodeRefPtr fresh(refs().createImportedSourceReference("/cad/x.stp", NullFC));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->getCore()->getType().getId(), Transform3D::getClassType().getId());
}

// live root ─┬─ given ─┬─ A (s.zmb): a
//            │         └─ B (s.zmb)
//            ├─ outside ── O (s.zmb): o1, o2
//            ├─ X (t.zmb): x, Y (t.zmb): y     given, no live node outside
//            └─ C (u.zmb): c                    given, alone
TEST_F(Creation, ClonesFollowALiveNodeOutsideTheGivenSubtreesElseTheLastOne)
{
    const NodePtr live = ksScenegraph::getRoot();
    const auto reference = [](const NodePtr& parent, const std::string& name, const std::string& smart,
                              const std::vector<std::string>& children) {
        const NodeRefPtr node = add(parent, name, smartCore(smart, ksReferenceTypes::UpToDate, true));
        for (const std::string& child : children)
            add(node.get(), child);
        return node;
    };
    const NodeRefPtr given = add(live, "given");
    const NodeRefPtr A = reference(given.get(), "A", "/p/s.zmb", {"a"});
    const NodeRefPtr B = reference(given.get(), "B", "/p/s.zmb", {});
    const NodeRefPtr outside = add(live, "outside");
    const NodeRefPtr O = reference(outside.get(), "O", "/p/s.zmb", {"o1", "o2"});
    const NodeRefPtr X = reference(live, "X", "/p/t.zmb", {"x"});
    const NodeRefPtr Y = reference(live, "Y", "/p/t.zmb", {"y"});
    const NodeRefPtr C = reference(live, "C", "/p/u.zmb", {"c"});

    refs().syncReferenceClones({given.get(), X.get(), Y.get(), C.get()});
    for (const NodeRefPtr& node : {A, B, O})
        EXPECT_EQ(childNames(node.get()), (std::vector<std::string>{"o1", "o2"})) << ksNodeUtils::getName(node.get());
    EXPECT_EQ(A->getChild(0)->getCore(), O->getChild(0)->getCore()) << "not a clone of the outside node";
    const std::set<ExtReferencePtr> cores = ksReferencePool::instance().getReferencesWithSameSmartFile(coreOf(X.get()));
    ASSERT_EQ(cores.size(), 2u);
    // The pool's order decides; both now show what the last one showed.
    const std::string expected = ExtReferencePtr(*cores.rbegin()) == X->getCore() ? "x" : "y";
    EXPECT_EQ(childNames(X.get()), std::vector<std::string>{expected});
    EXPECT_EQ(childNames(Y.get()), std::vector<std::string>{expected});
    EXPECT_EQ(childNames(C.get()), std::vector<std::string>{"c"});
}

TEST_F(Creation, SavingRefusesCyclesAndNothing)
{
    EXPECT_FALSE(refs().saveSmartReferences(NullFC, ""));
    const NodePtr live = ksScenegraph::getRoot();
    const std::string project = m_files.file("project.zmb");
    ExtReferenceRefPtr core = smartCore(project);
    core->setState(ksReferenceTypes::Undefined); // new: written on its first save
    add(live, "A", core);
    EXPECT_FALSE(refs().saveSmartReferences(live, project.c_str()));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(project)));
    EXPECT_TRUE(refs().saveSmartReferences(live, m_files.file("other.zmb").c_str()));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(project)));
}

} // namespace
