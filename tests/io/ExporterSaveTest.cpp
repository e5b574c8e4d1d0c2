// Licensed under the MIT licence; see LICENSE.
// Saving nested smart references in one call: order, content per file, and
// the project coming back the same.
#include "ExporterTestSupport.h"

#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"

using namespace osg;
using namespace exportertest;

namespace {

using ExporterSave = ExporterTest;

ksReferenceInterface* referenceInterface()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

void addPart(const NodePtr& parent, const std::string& name)
{
    beginEditCP(parent, Node::ChildrenFieldMask);
    parent->addChild(makeNode(makeTriangle(NullFC), name));
    endEditCP(parent, Node::ChildrenFieldMask);
}

// live root
// +- Outer (outer.zmb): OuterPart, Middle (middle.zmb): MiddlePart, Inner (inner.zmb): InnerPart
TEST_F(ExporterSave, NestedReferencesAreWrittenInnermostFirstEachWithItsOwnContent)
{
    ASSERT_NE(referenceInterface(), nullptr);
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr middle = addSmartReference(outer.get(), "Middle", file("sub/middle.zmb"));
    const NodeRefPtr inner = addSmartReference(middle.get(), "Inner", file("sub/deeper/inner.zmb"));
    const std::string project = file("project.zmb");

    {
        WriteLog log(live());
        ASSERT_TRUE(referenceInterface()->saveSmartReferences(live(), project.c_str()));
        EXPECT_EQ(log.paths(), (std::vector<std::string>{file("sub/deeper/inner.zmb"), file("sub/middle.zmb"),
                                                        file("outer.zmb")}));
    }
    for (const NodeRefPtr& node : {outer, middle, inner})
        EXPECT_EQ(ExtReferencePtr::dcast(node->getCore())->getState(), UInt32(ksReferenceTypes::Loaded));

    // The user edits every level; one call saves them all again.
    addPart(outer.get(), "OuterBolt");
    addPart(middle.get(), "MiddleBolt");
    addPart(inner.get(), "InnerBolt");
    const std::string before = dump(live());
    {
        WriteLog log(live());
        ASSERT_TRUE(referenceInterface()->saveSmartReferences(live(), project.c_str()));
        EXPECT_EQ(log.paths(), (std::vector<std::string>{file("sub/deeper/inner.zmb"), file("sub/middle.zmb"),
                                                        file("outer.zmb")}));
    }

    // Each file holds its own content and the bare node of the reference
    // inside it, never that reference's content.
    const NodeRefPtr outerFile = readContent(path("outer.zmb"));
    ASSERT_TRUE(outerFile);
    EXPECT_EQ(dump(outerFile.get()), "Outer\n  OuterPart\n  Middle\n  OuterBolt\n");
    const NodeRefPtr middleFile = readContent(path("sub/middle.zmb"));
    ASSERT_TRUE(middleFile);
    EXPECT_EQ(dump(middleFile.get()), "Middle\n  MiddlePart\n  Inner\n  MiddleBolt\n");
    const NodeRefPtr innerFile = readContent(path("sub/deeper/inner.zmb"));
    ASSERT_TRUE(innerFile);
    EXPECT_EQ(dump(innerFile.get()), "Inner\n  InnerPart\n  InnerBolt\n");

    // The live scene got its content back after every write.
    EXPECT_EQ(dump(live()), before);

    // The project loads back as it was.
    ASSERT_TRUE(ksFileIO::saveProject(path("project.zmb")));
    ksScenegraph::newScene();
    ASSERT_TRUE(ksFileIO::loadProject(path("project.zmb")));
    EXPECT_EQ(dump(live()), before);
    const NodePtr loadedInner = findByName(live(), "Inner");
    ASSERT_TRUE(loadedInner);
    EXPECT_EQ(smartPathOf(loadedInner), file("sub/deeper/inner.zmb"));
}

TEST_F(ExporterSave, AnUnchangedReferenceIsNotWrittenAgain)
{
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr inner = addSmartReference(outer.get(), "Inner", file("inner.zmb"));
    ksReferenceExporter(live(), options()).run();
    ASSERT_TRUE(QFileInfo::exists(path("inner.zmb")));

    addPart(outer.get(), "OuterBolt");
    WriteLog log(live());
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(log.paths(), std::vector<std::string>{file("outer.zmb")});
}

TEST_F(ExporterSave, ASmartFileSharedByTwoNodesIsSavedOnceFromItsFirstNode)
{
    const NodeRefPtr first = addSmartReference(live(), "First", file("shared.zmb"));
    // A second core with the very same record, and its own content.
    ExtReferenceRefPtr otherCore = ExtReference::create();
    otherCore->setSmartFile(FileReferenceRefPtr(ExtReferencePtr::dcast(first->getCore())->getSmartFile()));
    const NodeRefPtr second = makeNode(otherCore, "Second");
    second->addChild(makeNode(makeTriangle(NullFC), "SecondPart"));
    beginEditCP(live(), Node::ChildrenFieldMask);
    live()->addChild(second);
    endEditCP(live(), Node::ChildrenFieldMask);

    ksReferenceExporter(live(), options()).run();
    const NodeRefPtr written = readContent(path("shared.zmb"));
    ASSERT_TRUE(written);
    EXPECT_EQ(dump(written.get()), "First\n  FirstPart\n");
    EXPECT_EQ(otherCore->getState(), UInt32(ksReferenceTypes::Undefined)) << "the second node was saved too";
}

TEST_F(ExporterSave, AnExporterWithoutRootDoesNothing)
{
    ksReferenceExporter exporter(NullFC, options());
    EXPECT_FALSE(exporter.hasCyclicPaths());
    exporter.run();
    EXPECT_TRUE(filesIn(path("")).isEmpty());
}

} // namespace
