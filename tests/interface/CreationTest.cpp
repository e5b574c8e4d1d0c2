// Licensed under the MIT licence; see LICENSE.
// The interface's operations that turn imported nodes into source references
// and bring clones of one smart file in step.
#include "InterfaceTestSupport.h"

#include "scene/ksFileIO.h"

#include "utils/ksFile.h"

#include <ctime>

using namespace osg;
using namespace interfacetest;

namespace {

using Creation = LiveSceneTest;

// A transform node becomes the reference itself; any other node is wrapped in
// a new one that takes over its file information; references stay as they are.
TEST_F(Creation, ImportedNodesBecomeOrGetASourceReference)
{
    const std::string path = file("engine.v3.stp", "solid");
    Transform3DRefPtr transform = Transform3D::create();
    transform->setTranslation(Vec3f(1, 2, 3));
    transform->setScale(Vec3f(2, 2, 2));
    const NodeRefPtr imported = add(ksScenegraph::getRoot(), "ExtReference", transform);
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(refs().createImportedSourceReference(path, imported.get()), imported.get());
    const ExtReferencePtr core = coreOf(imported.get());
    ASSERT_TRUE(core && core->getSourceFile());
    EXPECT_EQ(core->getTranslation(), Vec3f(1, 2, 3));
    EXPECT_EQ(core->getScale(), Vec3f(2, 2, 2));
    const FileReferencePtr source = core->getSourceFile();
    EXPECT_EQ(source->getPath(), path);
    EXPECT_TRUE(source->getImportDate() >= UInt64(before) && source->getImportDate() <= UInt64(std::time(nullptr)));
    EXPECT_EQ(source->getChecksum(), ksFile::getChecksum(path, 0)) << "the file information was not taken";
    // The importer's default name gives way to the file's; the user's own stays.
    EXPECT_EQ(ksNodeUtils::getName(imported.get()), "engine.v3");
    const NodeRefPtr named = add(ksScenegraph::getRoot(), "Chassis", Transform3D::create());
    refs().createImportedSourceReference(path, named.get());
    EXPECT_EQ(ksNodeUtils::getName(named.get()), "Chassis");

    const NodeRefPtr group = add(NullFC, "Wheel root");
    FileInfoRefPtr info = FileInfo::create();
    info->setPath(path);
    group->addAttachment(info, 0);
    const NodeRefPtr wrapper(refs().createImportedSourceReference(path, group.get()));
    ASSERT_TRUE(wrapper && coreOf(wrapper.get()));
    EXPECT_EQ(coreOf(wrapper.get())->getSourceFile()->getPath(), path);
    EXPECT_EQ(ksNodeUtils::getName(wrapper.get()), "engine.v3");
    EXPECT_EQ(childNames(wrapper.get()), std::vector<std::string>{"Wheel root"});
    const UInt16 infoGroup = FileInfo::getClassType().getGroupId();
    EXPECT_EQ(wrapper->findAttachment(infoGroup, 0), AttachmentPtr(info.get()));
    EXPECT_FALSE(group->findAttachment(infoGroup, 0));
    // The reference node alone, alive for the caller and for nobody else:
    // once dropped, neither the node nor its core is left (nor pooled).
    UInt32 aloneCoreId = 0;
    {
        const NodeRefPtr alone(refs().createImportedSourceReference(path, NullFC));
        ASSERT_TRUE(alone && coreOf(alone.get()));
        aloneCoreId = coreOf(alone.get()).getFieldContainerId();
    }
    EXPECT_FALSE(FieldContainerFactory::the()->getContainer(aloneCoreId)) << "a node made by the call was kept";

    const NodeCorePtr referenceCore = wrapper->getCore();
    EXPECT_EQ(refs().createImportedSourceReference("/cad/x.stp", wrapper.get()), wrapper.get());
    EXPECT_EQ(wrapper->getCore(), referenceCore);

    // With creation switched off the imported node stays as it is, and a
    // missing one becomes a plain transform: no reference either way.
    ksFileIO::setImportCreateReferences(false);
    const NodeRefPtr plain = add(ksScenegraph::getRoot(), "Plain", Transform3D::create());
    EXPECT_EQ(refs().createImportedSourceReference(path, plain.get()), plain.get());
    const NodeRefPtr made(refs().createImportedSourceReference(path, NullFC));
    ksFileIO::setImportCreateReferences(true);
    EXPECT_FALSE(coreOf(plain.get()));
    ASSERT_TRUE(made);
    EXPECT_TRUE(Transform3DPtr::dcast(made->getCore()) && !coreOf(made.get()));
}

// live root ─┬─ given ─┬─ A (s.zmb): a
//            │         └─ B (s.zmb)
//            ├─ outside ── O (s.zmb): o1, o2
//            ├─ X (t.zmb): x, Y (t.zmb): y     given, no live node outside
//            └─ C (u.zmb): c                    given, alone
TEST_F(Creation, ClonesFollowALiveNodeOutsideTheGivenSubtreesElseTheLastOne)
{
    const NodePtr live = ksScenegraph::getRoot();
    // Loaded cores are the ones clones can follow.
    const auto reference = [](const NodePtr& parent, const std::string& name, const std::string& smart,
                              const std::vector<std::string>& children) {
        const NodeRefPtr node = referencenodes::reference(name, smart);
        addChild(parent, node);
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

} // namespace
