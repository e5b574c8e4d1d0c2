// Licensed under the MIT licence; see LICENSE.
// The reference interface object's lookups, reached as other host modules
// reach it: through the interface factory and the host's declaration.
#include "InterfaceTestSupport.h"

#include <QDir>

using namespace osg;
using namespace interfacetest;

namespace {

// A reference core of a type derived from ExtReference, as a host extension
// would define one.
class SpecialReference : public ExtReference
{
public:
    static const FieldContainerType& getClassType()
    {
        static const FieldContainerType type("SpecialReference", 9001, &ExtReference::getClassType(),
                                             [] { return FieldContainerRefPtr(create()); },
                                             FieldContainerType::makeFields());
        return type;
    }
    const FieldContainerType& getType() const override { return getClassType(); }
    static RefPtr<SpecialReference> create() { return createContainer<SpecialReference>(); }

protected:
    SpecialReference() = default;
    ~SpecialReference() override = default;

private:
    friend class FieldContainer;
};

NodeRefPtr makeNode(NodeCoreRefPtr core)
{
    return add(NullFC, "", std::move(core));
}

class InterfaceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NE(reference, nullptr); }

    ksReferenceInterface* reference = ksInterfaceFactory::the().get<ksReferenceInterface>();
};

TEST_F(InterfaceTest, IsFoundUnderTheHostsInterfaceType)
{
    EXPECT_EQ(reference->type(), std::type_index(typeid(ksReferenceInterface)));
    EXPECT_EQ(reference->name(), "ksReferenceInterface");
}

TEST_F(InterfaceTest, ReferenceNodesAreThoseWithAnExtReferenceCoreOrDerived)
{
    const NodeRefPtr plainReference = makeNode(ExtReferenceBase::create());
    const NodeRefPtr special = makeNode(SpecialReference::create());
    const NodeRefPtr transform = makeNode(Transform3DBase::create());
    const NodeRefPtr group = makeNode(GroupBase::create());
    const NodeRefPtr bare = Node::create();

    EXPECT_EQ(reference->getExtReference(plainReference.get()), plainReference->getCore());
    EXPECT_EQ(reference->getExtReference(special.get()), special->getCore());
    EXPECT_TRUE(reference->isExtReference(special.get()));
    // A transform is a base of ExtReference, not a reference.
    for (const NodeRefPtr& node : {transform, group, bare}) {
        EXPECT_EQ(reference->getExtReference(node.get()), NullFC);
        EXPECT_FALSE(reference->isExtReference(node.get()));
    }
    EXPECT_EQ(reference->getExtReference(NullFC), NullFC);
    EXPECT_FALSE(reference->isExtReference(NullFC));
}

TEST_F(InterfaceTest, CoresAreFoundByIdOnlyWhileTheyAreReferenceCores)
{
    const ExtReferenceRefPtr core = smartCore("/data/a.zmb");
    const RefPtr<SpecialReference> special = SpecialReference::create();
    const NodeRefPtr node = makeNode(core);

    EXPECT_EQ(reference->getExtReferenceById(core.getFieldContainerId()), core.get());
    EXPECT_EQ(reference->getExtReferenceById(special.getFieldContainerId()), special.get());
    // The id of a file record, of a node, of nothing.
    EXPECT_EQ(reference->getExtReferenceById(core->getSmartFile().getFieldContainerId()), NullFC);
    EXPECT_EQ(reference->getExtReferenceById(node.getFieldContainerId()), NullFC);
    EXPECT_EQ(reference->getExtReferenceById(0), NullFC);

    UInt32 goneId = 0;
    {
        const ExtReferenceRefPtr gone = ExtReferenceBase::create();
        goneId = gone.getFieldContainerId();
    }
    EXPECT_EQ(reference->getExtReferenceById(goneId), NullFC);
}

TEST_F(InterfaceTest, PathsAreTheSameWhenTheirAbsoluteFormsAre)
{
    struct Case
    {
        std::string a;
        std::string b;
        bool same;
    };
    const std::string here = QDir::currentPath().toStdString();
    const Case cases[] = {
        {"/data/cad/engine.zmb", "/data/cad/engine.zmb", true},
        {"/data/cad/../cad/engine.zmb", "/data/cad/engine.zmb", true},
        {"/data/cad//engine.zmb", "/data/cad/engine.zmb", true},
        {"engine.zmb", here + "/engine.zmb", true},
        {"/data/cad/Engine.zmb", "/data/cad/engine.zmb", false},
        {"/data/cad/engine.zmb", "/data/cad/engine.osb", false},
        {"/data/über/ä.zmb", "/data/über/ä.zmb", true},
    };
    for (const Case& test : cases)
        EXPECT_EQ(reference->isSamePath(test.a, test.b), test.same) << test.a << " vs " << test.b;
}

TEST_F(InterfaceTest, SmartReferencesAreTheSameWhenTheirFilesAre)
{
    const ExtReferenceRefPtr first = smartCore("/data/cad/engine.zmb");
    const ExtReferenceRefPtr second = smartCore("/data/cad/./engine.zmb");
    const ExtReferenceRefPtr otherCase = smartCore("/data/cad/ENGINE.zmb");
    const ExtReferenceRefPtr noPathA = smartCore("", ksReferenceTypes::NoPath);
    const ExtReferenceRefPtr noPathB = smartCore("", ksReferenceTypes::NoPath);
    const ExtReferenceRefPtr withoutRecord = ExtReferenceBase::create();
    const ExtReferenceRefPtr otherWithoutRecord = ExtReferenceBase::create();

    EXPECT_TRUE(reference->isSameSmartReference(first.get(), second.get()));
    EXPECT_TRUE(reference->isSameSmartReference(second.get(), first.get()));
    EXPECT_FALSE(reference->isSameSmartReference(first.get(), otherCase.get()));
    // A core is the same as itself, record or not.
    EXPECT_TRUE(reference->isSameSmartReference(withoutRecord.get(), withoutRecord.get()));
    EXPECT_TRUE(reference->isSameSmartReference(NullFC, NullFC));
    EXPECT_FALSE(reference->isSameSmartReference(withoutRecord.get(), otherWithoutRecord.get()));
    EXPECT_FALSE(reference->isSameSmartReference(first.get(), withoutRecord.get()));
    EXPECT_FALSE(reference->isSameSmartReference(first.get(), NullFC));
    EXPECT_FALSE(reference->isSameSmartReference(NullFC, first.get()));
    // Records without path name no file, even when both are empty.
    EXPECT_FALSE(reference->isSameSmartReference(noPathA.get(), noPathB.get()));
    const ExtReferenceRefPtr sameButNoPath = smartCore("/data/cad/engine.zmb", ksReferenceTypes::NoPath);
    EXPECT_FALSE(reference->isSameSmartReference(first.get(), sameButNoPath.get()));
}

} // namespace
