// Licensed under the MIT licence; see LICENSE.
// The reference interface object's lookups, reached as other host modules
// reach it: through the interface factory and the host's declaration.
#include "InterfaceTestSupport.h"

#include <QDir>

#include <iterator>
#include <tuple>

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

class InterfaceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NE(reference, nullptr); }

    ksReferenceInterface* reference = ksInterfaceFactory::the().get<ksReferenceInterface>();
};

// Found under the host's interface type; reference nodes are those with an
// ExtReference core or one derived from it, and cores are found by id only
// while they are reference cores.
TEST_F(InterfaceTest, ReferenceNodesAndCoresAreThoseOfExtReferenceOrDerived)
{
    EXPECT_EQ(reference->type(), std::type_index(typeid(ksReferenceInterface)));
    EXPECT_EQ(reference->name(), "ksReferenceInterface");

    const NodeRefPtr plainReference = add(NullFC, "", smartCore("/data/a.zmb"));
    const NodeRefPtr special = add(NullFC, "", SpecialReference::create());
    for (const NodeRefPtr& node : {plainReference, special}) {
        EXPECT_EQ(reference->getExtReference(node.get()), node->getCore());
        EXPECT_TRUE(reference->isExtReference(node.get()));
        EXPECT_EQ(reference->getExtReferenceById(node->getCore().getFieldContainerId()), node->getCore());
    }
    // A transform is a base of ExtReference, not a reference.
    for (const NodeRefPtr& node : {add(NullFC, "", Transform3DBase::create()), add(NullFC, "", GroupBase::create()),
                                   NodeRefPtr(Node::create()), NodeRefPtr()}) {
        EXPECT_EQ(reference->getExtReference(node.get()), NullFC);
        EXPECT_FALSE(reference->isExtReference(node.get()));
    }
    // The id of a file record, of a node, of nothing, of a core that is gone.
    UInt32 goneId = ExtReferenceBase::create().getFieldContainerId();
    for (UInt32 id : {coreOf(plainReference.get())->getSmartFile().getFieldContainerId(),
                      plainReference.getFieldContainerId(), UInt32(0), goneId})
        EXPECT_EQ(reference->getExtReferenceById(id), NullFC) << id;
}

TEST_F(InterfaceTest, PathsAreTheSameWhenTheirAbsoluteFormsAre)
{
    const std::string here = QDir::currentPath().toStdString();
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"/data/cad/engine.zmb", "/data/cad/engine.zmb", true},
        {"/data/cad/../cad/engine.zmb", "/data/cad/engine.zmb", true},
        {"/data/cad//engine.zmb", "/data/cad/engine.zmb", true},
        {"engine.zmb", here + "/engine.zmb", true},
        {"/data/cad/Engine.zmb", "/data/cad/engine.zmb", false},
        {"/data/cad/engine.zmb", "/data/cad/engine.osb", false},
        {"/data/über/ä.zmb", "/data/über/ä.zmb", true},
    };
    for (const auto& [a, b, same] : cases)
        EXPECT_EQ(reference->isSamePath(a, b), same) << a << " vs " << b;
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

    const ExtReferenceRefPtr sameButNoPath = smartCore("/data/cad/engine.zmb", ksReferenceTypes::NoPath);
    const std::tuple<ExtReferencePtr, ExtReferencePtr, bool> cases[] = {
        {first.get(), second.get(), true}, {second.get(), first.get(), true}, {first.get(), otherCase.get(), false},
        // A core is the same as itself, record or not.
        {withoutRecord.get(), withoutRecord.get(), true}, {NullFC, NullFC, true},
        {withoutRecord.get(), otherWithoutRecord.get(), false}, {first.get(), withoutRecord.get(), false},
        {first.get(), NullFC, false}, {NullFC, first.get(), false},
        // Records without path name no file, even when both are empty.
        {noPathA.get(), noPathB.get(), false}, {first.get(), sameButNoPath.get(), false}};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(reference->isSameSmartReference(std::get<0>(cases[i]), std::get<1>(cases[i])), std::get<2>(cases[i]))
            << "case " << i;
}

} // namespace
