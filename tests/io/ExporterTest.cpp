// Licensed under the MIT licence; see LICENSE.
// Saving the smart references of a scene in one call: the order of writes and
// the content per file, the paths handed out to references that have none
// yet, and saves that would make a file contain itself, refused as a whole.
#include "SmartFileTestSupport.h"

#include "io/ksReferenceExporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"

using namespace osg;
using namespace smartfiletest;

namespace {

std::string smartPathOf(const NodePtr& node)
{
    const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
    return core && core->getSmartFile() ? core->getSmartFile()->getPath() : std::string();
}

// The smart records the pool updated after a write, first write first; a
// record shows up once, at its first write.
struct WriteLog {
    explicit WriteLog(const NodePtr& root)
        : subscription(ChangeObservers::subscribe(root, [this](const ChangeEvent& event) {
            const FileReferencePtr record = FileReferencePtr::dcast(event.container);
            if (record && (event.mask & FileReference::ChecksumFieldMask)
                && std::find(paths.begin(), paths.end(), record->getPath()) == paths.end())
                paths.push_back(record->getPath());
        }))
    {
    }
    std::vector<std::string> paths;
    ChangeSubscription subscription;
};

// Names of a subtree in pre-order, indented by depth: two scenes with the
// same dump have the same shape.
std::string dump(const NodePtr& root, std::size_t depth = 0)
{
    std::string out = std::string(depth * 2, ' ') + ksNodeUtils::getName(root) + "\n";
    for (UInt32 i = 0; i < root->getNChildren(); ++i)
        out += dump(root->getChild(i), depth + 1);
    return out;
}

class ExporterTest : public SmartFileTest
{
protected:
    std::string file(const QString& name) const { return path(name).toUtf8().toStdString(); }
    static NodePtr live() { return ksScenegraph::getRoot(); }

    static ksReferenceExporter::Options options(const std::string& projectPath = {})
    {
        ksReferenceExporter::Options result;
        result.projectPath = projectPath;
        return result;
    }

    // The content written to `name`, as a dump.
    std::string written(const QString& name) const
    {
        const NodeRefPtr root = readContent(path(name));
        return root ? dump(root.get()) : std::string("(unreadable)");
    }

    ksReferenceInterface* refs = ksInterfaceFactory::the().get<ksReferenceInterface>();
};

void addSource(const NodePtr& node, const std::string& sourcePath)
{
    ExtReferencePtr::dcast(node->getCore())->setSourceFile(referencenodes::record(sourcePath));
}

// live root
// +- Outer (outer.zmb): OuterPart, Middle (middle.zmb): MiddlePart, Inner (inner.zmb): InnerPart
TEST_F(ExporterTest, NestedReferencesAreWrittenInnermostFirstEachWithItsOwnContent)
{
    ASSERT_NE(refs, nullptr);
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr middle = addSmartReference(outer.get(), "Middle", file("sub/middle.zmb"));
    const NodeRefPtr inner = addSmartReference(middle.get(), "Inner", file("sub/deeper/inner.zmb"));
    const std::string project = file("project.zmb");
    ASSERT_TRUE(refs->saveSmartReferences(live(), project.c_str()));
    EXPECT_EQ(ExtReferencePtr::dcast(inner->getCore())->getState(), UInt32(ksReferenceTypes::Loaded));

    // The user edits every level; one call saves them all again.
    for (const NodeRefPtr& node : {outer, middle, inner})
        add(node.get(), ksNodeUtils::getName(node.get()) + "Bolt", makeTriangle());
    const std::string before = dump(live());
    WriteLog log(live());
    ASSERT_TRUE(refs->saveSmartReferences(live(), project.c_str()));
    EXPECT_EQ(log.paths,
              (std::vector<std::string>{file("sub/deeper/inner.zmb"), file("sub/middle.zmb"), file("outer.zmb")}));

    // Each file holds its own content and the bare node of the reference
    // inside it, never that reference's content.
    EXPECT_EQ(written("outer.zmb"), "Outer\n  OuterPart\n  Middle\n  OuterBolt\n");
    EXPECT_EQ(written("sub/middle.zmb"), "Middle\n  MiddlePart\n  Inner\n  MiddleBolt\n");
    EXPECT_EQ(written("sub/deeper/inner.zmb"), "Inner\n  InnerPart\n  InnerBolt\n");
    EXPECT_EQ(dump(live()), before) << "the live scene got its content back after every write";
    // Unchanged references are not written again.
    add(outer.get(), "OuterNut", makeTriangle());
    WriteLog again(live());
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(again.paths, std::vector<std::string>{file("outer.zmb")});
}

TEST_F(ExporterTest, NewReferencesAreNamedAfterTheNodeAndNumberedBesideTheMasterFile)
{
    std::vector<NodeRefPtr> doors;
    for (int i = 0; i < 3; ++i)
        doors.push_back(addSmartReference(live(), "Door", ""));
    const NodeRefPtr nameless = addSmartReference(live(), "", "");
    {
        // With no master file the paths stay empty and nothing is written.
        LogRecorder log;
        ksReferenceExporter(live(), options()).run();
        EXPECT_EQ(smartPathOf(doors[0].get()), "");
        EXPECT_TRUE(QDir(path("")).isEmpty());
        // Each reference is told of, then refused its save.
        std::vector<std::string> expected(4, "[REFERENCE] Can't construct absolute path. No master file found.");
        expected.resize(8, "[REFERENCE] Save: Can't write file. Path is empty.");
        EXPECT_EQ(log.problems(), expected);
    }
    ksReferenceExporter::Options custom = options(file("project.zmb"));
    custom.exportLocation = ksReferenceTypes::CustomDirectory;
    // Written as a user on another system may have typed it.
    custom.customExportPath = QString(path("out")).replace('/', '\\').toUtf8().toStdString();
    ksReferenceExporter(live(), custom).run();
    const QString out = path("out/");
    EXPECT_EQ(smartPathOf(doors[0].get()), (out + "Door.zmb").toStdString());
    EXPECT_EQ(smartPathOf(doors[2].get()), (out + "Door_3.zmb").toStdString());
    EXPECT_EQ(smartPathOf(nameless.get()), (out + "SmartReference.zmb").toStdString());
    EXPECT_EQ(filesIn(out), (QStringList{"Door.zmb", "Door_2.zmb", "Door_3.zmb", "SmartReference.zmb"}));

    // Without custom directory: next to the project, whose own name is never handed out.
    const NodeRefPtr project = addSmartReference(live(), "project", "");
    ksReferenceExporter(live(), options(file("project.zmb"))).run();
    EXPECT_EQ(smartPathOf(project.get()), file("project_2.zmb"));
    EXPECT_FALSE(QFileInfo::exists(path("project.zmb")));

    // Without project the scene's file is the master.
    const NodeRefPtr window = addSmartReference(live(), "Window", "");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path("scene/current.zmb"));
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(smartPathOf(window.get()), file("scene/Window.zmb"));
    EXPECT_EQ(ExtReferencePtr::dcast(window->getCore())->getSmartFile()->getRelativePath(), "Window.zmb");
}

// A new file never takes the place of another: of a file on disk, or of the
// file of another reference (written or not). Paths that exist are kept.
//
// live root: Door (Door_2.zmb, unloaded), Door, Door (new), Part (new; source cad/a\b.stp)
TEST_F(ExporterTest, NewNamesSkipFilesOnDiskAndFilesOfOtherReferences)
{
    ASSERT_TRUE(writeFile(path("Door.zmb"), "not ours"));
    const NodeRefPtr kept = addSmartReference(live(), "Door", file("Door_2.zmb"), ksReferenceTypes::NotLoaded);
    const NodeRefPtr first = addSmartReference(live(), "Door", "");
    const NodeRefPtr second = addSmartReference(live(), "Door", "");
    // Only the source's directory is normalised; a backslash in its name stays.
    const NodeRefPtr part = addSmartReference(live(), "Part", "");
    addSource(part.get(), file("cad/a\\b.stp"));

    const std::string project = file("project.zmb");
    ASSERT_TRUE(refs->saveSmartReferences(live(), project.c_str()));
    EXPECT_EQ(smartPathOf(kept.get()), file("Door_2.zmb"));
    EXPECT_EQ(smartPathOf(first.get()), file("Door_3.zmb"));
    EXPECT_EQ(smartPathOf(second.get()), file("Door_4.zmb"));
    EXPECT_EQ(smartPathOf(part.get()), file("cad/a\\b.zmb"));
    EXPECT_EQ(fileBytes(path("Door.zmb")), QByteArray("not ours"));
    // The next save finds every file its own.
    add(first.get(), "Handle", makeTriangle());
    EXPECT_TRUE(refs->saveSmartReferences(live(), project.c_str()));
    EXPECT_EQ(written("Door_3.zmb"), "Door\n  DoorPart\n  Handle\n");
}

TEST_F(ExporterTest, TwoCoresNamingOneFileAreRefusedWithNothingWritten)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("same.zmb"));
    const NodeRefPtr b = addSmartReference(a.get(), "B", file("other.zmb"));
    addSmartReference(b.get(), "C", file("same.zmb"));
    const NodeRefPtr fresh = addSmartReference(live(), "New", "");

    LogRecorder log;
    EXPECT_FALSE(refs->saveSmartReferences(live(), file("project.zmb").c_str()));
    EXPECT_EQ(log.problems(), std::vector<std::string>{"Unable to save smart reference. Cyclic paths detected."});
    EXPECT_TRUE(filesIn(path("")).isEmpty());
    EXPECT_EQ(smartPathOf(fresh.get()), "") << "no path is handed out before the refusal";

    // Cycles hide neither behind backslashes nor above a saved subtree.
    ksScenegraph::newScene();
    addSmartReference(live(), "A", "/tmp/x/same.zmb");
    addSmartReference(live(), "B", "\\tmp\\x\\same.zmb");
    EXPECT_TRUE(ksReferenceExporter(live(), options()).hasCyclicPaths());

    ksScenegraph::newScene();
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr middle = addSmartReference(outer.get(), "Middle", file("middle.zmb"));
    const NodeRefPtr inner = addSmartReference(middle.get(), "Inner", file("outer.zmb"));
    EXPECT_TRUE(ksReferenceExporter(middle.get(), options()).hasCyclicPaths());
    EXPECT_TRUE(ksReferenceExporter(inner.get(), options()).hasCyclicPaths());
}

TEST_F(ExporterTest, SharedCoresAndUnloadedReferencesAreNoCycle)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("same.zmb"));
    add(live(), "AClone", NodeCoreRefPtr(a->getCore()));
    // The core is met again inside its own content too.
    add(a.get(), "ANested", NodeCoreRefPtr(a->getCore()));
    const NodeRefPtr unloaded = addSmartReference(live(), "Unloaded", file("same.zmb"), ksReferenceTypes::NotLoaded);
    const NodeRefPtr fresh = addSmartReference(live(), "Fresh", "", ksReferenceTypes::NotLoaded);

    ksReferenceExporter exporter(live(), options());
    EXPECT_FALSE(exporter.hasCyclicPaths());
    exporter.run();
    EXPECT_EQ(smartPathOf(fresh.get()), "") << "an unloaded reference gets no path";
    EXPECT_EQ(ExtReferencePtr::dcast(unloaded->getCore())->getState(), UInt32(ksReferenceTypes::NotLoaded));
    EXPECT_EQ(written("same.zmb"), "A\n  APart\n  ANested\n");
    EXPECT_EQ(exporter.getFailedSaves(), 0) << "what is not written by rule did not fail";
}

// live root
// +- Good (good.zmb), Blocked (blocker/blocked.zmb, where blocker is a file)
TEST_F(ExporterTest, ASaveThatCouldNotWriteEveryFileFails)
{
    QFile blocker(path("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    addSmartReference(live(), "Good", file("good.zmb"));
    addSmartReference(live(), "Blocked", file("blocker/blocked.zmb"));
    LogRecorder log;
    EXPECT_FALSE(refs->saveSmartReferences(live(), file("project.zmb").c_str()))
        << "a project saved now would name content its files do not hold";
    EXPECT_EQ(log.problems().size(), 1u);
}

} // namespace
