// Licensed under the MIT licence; see LICENSE.
// Saving the smart references of a scene in one call: the order of writes and
// the content per file, the paths handed out to references that have none
// yet, and saves that would make a file contain itself, refused as a whole.
#include "SmartFileTestSupport.h"

#include "io/ksReferenceExporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "service/ksReferenceSettings.h"

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
class WriteLog
{
public:
    explicit WriteLog(const NodePtr& root)
        : m_subscription(ChangeObservers::subscribe(root, [this](const ChangeEvent& event) {
            const FileReferencePtr record = FileReferencePtr::dcast(event.container);
            if (!record || !(event.mask & FileReference::ChecksumFieldMask))
                return;
            const std::string path = record->getPath();
            if (std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end())
                m_paths.push_back(path);
        }))
    {
    }
    const std::vector<std::string>& paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;
    ChangeSubscription m_subscription;
};

// Names of a subtree in pre-order, indented by depth: two scenes with the
// same dump have the same shape.
std::string dump(const NodePtr& root)
{
    std::string out;
    int depth = 0;
    traverse(
        root,
        [&](const NodePtr& node) {
            out += std::string(size_t(depth) * 2, ' ') + ksNodeUtils::getName(node) + "\n";
            ++depth;
            return Action::Continue;
        },
        [&](const NodePtr&, Action::ResultE result) {
            --depth;
            return result;
        });
    return out;
}

class ExporterTest : public SmartFileTest
{
protected:
    void SetUp() override
    {
        SmartFileTest::SetUp();
        ksReferenceSettings::the().setExportLocation(ksReferenceTypes::NextToSource);
        ksReferenceSettings::the().setCustomExportPath(QString());
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
    }
    void TearDown() override
    {
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
        SmartFileTest::TearDown();
    }

    std::string file(const QString& name) const { return path(name).toUtf8().toStdString(); }
    static NodePtr live() { return ksScenegraph::getRoot(); }

    ksReferenceExporter::Options options(const std::string& projectPath = {}) const
    {
        ksReferenceExporter::Options result;
        result.projectPath = projectPath;
        return result;
    }
};

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
TEST_F(ExporterTest, NestedReferencesAreWrittenInnermostFirstEachWithItsOwnContent)
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

TEST_F(ExporterTest, AnUnchangedReferenceIsNotWrittenAgain)
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

TEST_F(ExporterTest, ASmartFileSharedByTwoNodesIsSavedOnceFromItsFirstNode)
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

TEST_F(ExporterTest, AnExporterWithoutRootDoesNothing)
{
    ksReferenceExporter exporter(NullFC, options());
    EXPECT_FALSE(exporter.hasCyclicPaths());
    exporter.run();
    EXPECT_TRUE(filesIn(path("")).isEmpty());
}



void addSource(const NodePtr& node, const std::string& sourcePath)
{
    FileReferenceRefPtr source = FileReference::create();
    source->setPath(sourcePath);
    ExtReferencePtr::dcast(node->getCore())->setSourceFile(source);
}

TEST_F(ExporterTest, NewReferencesOfOneNameAreNumberedInTheCustomDirectory)
{
    std::vector<NodeRefPtr> doors;
    for (int i = 0; i < 3; ++i)
        doors.push_back(addSmartReference(live(), "Door", ""));
    const NodeRefPtr nameless = addSmartReference(live(), "", "");
    ksReferenceExporter::Options custom = options(file("project.zmb"));
    custom.exportLocation = ksReferenceTypes::CustomDirectory;
    // Written as a user on another system may have typed it.
    custom.customExportPath = QString(path("out")).replace('/', '\\').toUtf8().toStdString();

    ksReferenceExporter(live(), custom).run();
    const QString out = path("out/");
    EXPECT_EQ(smartPathOf(doors[0].get()), (out + "Door.zmb").toStdString());
    EXPECT_EQ(smartPathOf(doors[1].get()), (out + "Door_2.zmb").toStdString());
    EXPECT_EQ(smartPathOf(doors[2].get()), (out + "Door_3.zmb").toStdString());
    EXPECT_EQ(smartPathOf(nameless.get()), (out + "SmartReference.zmb").toStdString());
    EXPECT_EQ(filesIn(out), (QStringList{"Door.zmb", "Door_2.zmb", "Door_3.zmb", "SmartReference.zmb"}));
}

TEST_F(ExporterTest, WithoutCustomDirectoryANewReferenceGoesNextToTheProject)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", "");
    // The project's own name is never handed out.
    const NodeRefPtr project = addSmartReference(live(), "project", "");
    ksReferenceExporter(live(), options(file("project.zmb"))).run();
    EXPECT_EQ(smartPathOf(door.get()), file("Door.zmb"));
    EXPECT_EQ(smartPathOf(project.get()), file("project_2.zmb"));
    EXPECT_TRUE(QFileInfo::exists(path("Door.zmb")));
    EXPECT_FALSE(QFileInfo::exists(path("project.zmb")));
}

TEST_F(ExporterTest, WithoutProjectTheScenesFileIsTheMaster)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", "");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path("scene/current.zmb"));
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(smartPathOf(door.get()), file("scene/Door.zmb"));
    EXPECT_EQ(ExtReferencePtr::dcast(door->getCore())->getSmartFile()->getRelativePath(), "Door.zmb");
}

TEST_F(ExporterTest, WithNoMasterFileThePathStaysEmptyAndNothingIsWritten)
{
    const NodeRefPtr a = addSmartReference(live(), "Door", "");
    const NodeRefPtr b = addSmartReference(live(), "Door", "");
    ksReferenceSettings::the().setLogLevel(4);
    LogRecorder log;
    ksReferenceExporter(live(), options()).run();
    EXPECT_EQ(smartPathOf(a.get()), "");
    EXPECT_EQ(smartPathOf(b.get()), "");
    EXPECT_TRUE(filesIn(path("")).isEmpty());
    const auto lines = log.problems();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[REFERENCE] Can't construct absolute path. No master file found."),
              lines.end());
}

TEST_F(ExporterTest, ASourceFileLendsItsDirectoryOrItsNameOnly)
{
    const NodeRefPtr nextTo = addSmartReference(live(), "Any", "");
    addSource(nextTo.get(), file("cad/engine.v2.stp"));
    const NodeRefPtr second = addSmartReference(live(), "Other", "");
    addSource(second.get(), file("cad/engine.v2.stp"));
    ksReferenceExporter(live(), options(file("project.zmb"))).run();
    EXPECT_EQ(smartPathOf(nextTo.get()), file("cad/engine.v2.zmb"));
    EXPECT_EQ(smartPathOf(second.get()), file("cad/engine.v2_2.zmb"));

    const NodeRefPtr custom = addSmartReference(live(), "Any", "");
    addSource(custom.get(), "\\\\server\\cad\\wheel.jt");
    ksReferenceExporter::Options options = this->options(file("project.zmb"));
    options.exportLocation = ksReferenceTypes::CustomDirectory;
    options.customExportPath = file("lib");
    ksReferenceExporter(custom.get(), options).run();
    EXPECT_EQ(smartPathOf(custom.get()), file("lib/wheel.zmb"));
}

TEST_F(ExporterTest, AnExistingPathIsKeptAndOnlyItsRelativePathRefreshed)
{
    const NodeRefPtr door = addSmartReference(live(), "Door", file("parts/kept.zmb"));
    FileReferencePtr smart = ExtReferencePtr::dcast(door->getCore())->getSmartFile();
    smart->setRelativePath("stale.zmb");
    ksSceneDataManager::getSceneData(0)->setCurrentFile(path("project.zmb"));
    ksReferenceExporter(live(), options(file("elsewhere/project.zmb"))).run();
    EXPECT_EQ(smart->getPath(), file("parts/kept.zmb"));
    EXPECT_EQ(smart->getRelativePath(), "parts/kept.zmb");
}



const char* const cyclicMessage = "Unable to save smart reference. Cyclic paths detected.";

TEST_F(ExporterTest, TwoCoresNamingOneFileAreRefusedWithNothingWritten)
{
    const NodeRefPtr a = addSmartReference(live(), "A", file("same.zmb"));
    const NodeRefPtr b = addSmartReference(a.get(), "B", file("other.zmb"));
    addSmartReference(b.get(), "C", file("same.zmb"));
    addSmartReference(live(), "New", "");
    EXPECT_TRUE(ksReferenceExporter(live(), options()).hasCyclicPaths());

    LogRecorder log;
    const bool saved = referenceInterface()->saveSmartReferences(
        live(), file("project.zmb").c_str());
    EXPECT_FALSE(saved);
    const auto lines = log.problems();
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(cyclicMessage)), lines.end());
    EXPECT_TRUE(filesIn(path("")).isEmpty());
    EXPECT_EQ(smartPathOf(findByName(live(), "New")), "") << "no path is handed out before the refusal";
}

TEST_F(ExporterTest, BackslashesDoNotHideASecondNameForOneFile)
{
    addSmartReference(live(), "A", "/tmp/x/same.zmb");
    addSmartReference(live(), "B", "\\tmp\\x\\same.zmb");
    EXPECT_TRUE(ksReferenceExporter(live(), options()).hasCyclicPaths());
}

TEST_F(ExporterTest, ASmartFileThatIsTheProjectIsRefused)
{
    addSmartReference(live(), "A", file("project.zmb"));
    EXPECT_TRUE(ksReferenceExporter(live(), options(file("project.zmb"))).hasCyclicPaths());
    EXPECT_FALSE(ksReferenceExporter(live(), options(file("other.zmb"))).hasCyclicPaths());
    EXPECT_FALSE(ksReferenceExporter(live(), options()).hasCyclicPaths());
}

TEST_F(ExporterTest, TwoNodesSharingOneCoreAreNoCycle)
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

TEST_F(ExporterTest, AnEnclosingReferenceCountsForASubtreeSave)
{
    const NodeRefPtr outer = addSmartReference(live(), "Outer", file("outer.zmb"));
    const NodeRefPtr middle = addSmartReference(outer.get(), "Middle", file("middle.zmb"));
    const NodeRefPtr inner = addSmartReference(middle.get(), "Inner", file("outer.zmb"));
    EXPECT_TRUE(ksReferenceExporter(middle.get(), options()).hasCyclicPaths());
    EXPECT_TRUE(ksReferenceExporter(inner.get(), options()).hasCyclicPaths());
}

TEST_F(ExporterTest, UnloadedReferencesTakePartInNothing)
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
