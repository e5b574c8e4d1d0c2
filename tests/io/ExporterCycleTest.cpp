// Licensed under the MIT licence; see LICENSE.
// Saves that would make a file contain itself are refused as a whole.
#include "ExporterTestSupport.h"

#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"

using namespace osg;
using namespace exportertest;

namespace {

using ExporterCycles = ExporterTest;

const char* const cyclicMessage = "Unable to save smart reference. Cyclic paths detected.";

TEST_F(ExporterCycles, TwoCoresNamingOneFileAreRefusedWithNothingWritten)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("same.zmb"));
    const NodeRefPtr b = addSmartReference(a.get(), "B", file("other.zmb"));
    addSmartReference(b.get(), "C", file("same.zmb"));
    addSmartReference(live(), "New", "");
    EXPECT_TRUE(ksReferenceExporter(live(), options()).hasCyclicPaths());

    LogLines log;
    const bool saved = ksInterfaceFactory::the().get<ksReferenceInterface>()->saveSmartReferences(
        live(), file("project.zmb").c_str());
    EXPECT_FALSE(saved);
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(cyclicMessage)), lines.end());
    EXPECT_TRUE(filesIn(path("")).isEmpty());
    EXPECT_EQ(smartPathOf(findByName(live(), "New")), "") << "no path is handed out before the refusal";
}

TEST_F(ExporterCycles, BackslashesDoNotHideASecondNameForOneFile)
{
    addSmartReference(live(), "A", "/tmp/x/same.zmb");
    addSmartReference(live(), "B", "\\tmp\\x\\same.zmb");
    EXPECT_TRUE(ksReferenceExporter(live(), options()).hasCyclicPaths());
}

TEST_F(ExporterCycles, ASmartFileThatIsTheProjectIsRefused)
{
    addSmartReference(live(), "A", file("project.zmb"));
    EXPECT_TRUE(ksReferenceExporter(live(), options(file("project.zmb"))).hasCyclicPaths());
    EXPECT_FALSE(ksReferenceExporter(live(), options(file("other.zmb"))).hasCyclicPaths());
    EXPECT_FALSE(ksReferenceExporter(live(), options()).hasCyclicPaths());
}

TEST_F(ExporterCycles, TwoNodesSharingOneCoreAreNoCycle)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("a.zmb"));
    const NodeRefPtr clone = makeNode(NodeCoreRefPtr(a->getCore()), "AClone");
    beginEditCP(live(), Node::ChildrenFieldMask);
    live()->addChild(clone);
    endEditCP(live(), Node::ChildrenFieldMask);
    // The core is met again inside its own content too.
    const NodeRefPtr nested = makeNode(NodeCoreRefPtr(a->getCore()), "ANested");
    a->addChild(nested);

    EXPECT_FALSE(ksReferenceExporter(live(), options()).hasCyclicPaths());
}

TEST_F(ExporterCycles, AnEnclosingReferenceCountsForASubtreeSave)
{
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr middle = addSmartReference(outer.get(), "Middle", file("middle.zmb"));
    const NodeRefPtr inner = addSmartReference(middle.get(), "Inner", file("outer.zmb"));
    EXPECT_TRUE(ksReferenceExporter(middle.get(), options()).hasCyclicPaths());
    EXPECT_TRUE(ksReferenceExporter(inner.get(), options()).hasCyclicPaths());
}

TEST_F(ExporterCycles, UnloadedReferencesTakePartInNothing)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("same.zmb"));
    const NodeRefPtr unloaded = addSmartReference(live(), "Unloaded", file("same.zmb"), ksReferenceTypes::NotLoaded);
    const NodeRefPtr fresh = addSmartReference(live(), "Fresh", "", ksReferenceTypes::NotLoaded);

    ksReferenceExporter exporter(live(), options());
    EXPECT_FALSE(exporter.hasCyclicPaths());
    exporter.run();
    EXPECT_TRUE(QFileInfo::exists(path("same.zmb")));
    EXPECT_EQ(smartPathOf(fresh.get()), "") << "an unloaded reference gets no path";
    EXPECT_EQ(ExtReferencePtr::dcast(unloaded->getCore())->getState(), UInt32(ksReferenceTypes::NotLoaded));
    const NodeRefPtr written = readContent(path("same.zmb"));
    ASSERT_TRUE(written);
    EXPECT_EQ(ksNodeUtils::getName(written.get()), "A");
}

} // namespace
