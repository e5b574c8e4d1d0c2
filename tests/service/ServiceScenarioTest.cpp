// Licensed under the MIT licence; see LICENSE.
// One reference's life through the service and its handles only: create a
// source reference, make it smart, save, unload, load, undo and redo each
// step, remove it.
#include "ServiceTestSupport.h"

#include "handles/ksTypeConverter.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

class ServiceScenario : public ::testing::Test
{
protected:
    void SetUp() override { ksUndoStack::get(0).clear(); }
    void TearDown() override { ksUndoStack::get(0).clear(); }

    static ksUndoStack& undo() { return ksUndoStack::get(0); }

    TempFiles m_files;
};

TEST_F(ServiceScenario, SourceToSmartSaveUnloadLoadUndoRedoRemove)
{
    ksReferenceService* s = service();
    ASSERT_TRUE(s);
    QSignalSpy created(s, &ksReferenceService::referenceCreated);
    QSignalSpy changed(s, &ksReferenceService::referencesChanged);

    // Create: a NotLoaded reference with the file's information.
    const std::string source = m_files.write("part.jt", "geometry");
    const QString sourcePath = QString::fromStdString(source);
    ksdReferenceNode handle = s->createSourceReference(sourcePath, ksdNode());
    ASSERT_FALSE(handle.isNull());
    ASSERT_EQ(created.count(), 1);
    EXPECT_EQ(created.at(0).at(0).value<ksdReferenceNode>(), handle);
    EXPECT_EQ(handle.getState(), Types::NotLoaded);
    EXPECT_TRUE(handle.hasSourceReference());
    EXPECT_FALSE(handle.hasSmartReference());
    EXPECT_EQ(handle.getSourcePath(), QDir::toNativeSeparators(sourcePath));
    EXPECT_EQ(handle.getSourceFileState(), Types::UpToDate);
    EXPECT_FALSE(handle.getSourceOwner().isEmpty());
    // Records keep whole seconds.
    EXPECT_EQ(handle.getSourceLastModified().toSecsSinceEpoch(), QFileInfo(sourcePath).lastModified().toSecsSinceEpoch());
    EXPECT_EQ(ksNodeUtils::getName(ksTypeConverter::convertNode(handle)), "part");
    const osg::NodePtr node = ksTypeConverter::convertNode(handle);
    EXPECT_EQ(node->getParent(), ksScenegraph::getRoot());
    const int afterCreate = undo().count();

    // Convert: the smart file goes next to the source, one undo step.
    EXPECT_EQ(s->convertToSmart(handle, true), handle);
    EXPECT_EQ(undo().count(), afterCreate + 1);
    const QString smartPath = QDir::toNativeSeparators(m_files.dir() + "/part.zmb");
    EXPECT_EQ(handle.getSmartPath(), smartPath);
    EXPECT_EQ(handle.getSmartFileState(), Types::Missing);
    EXPECT_FALSE(handle.getSmartCreationDate().isValid());
    undo().undo();
    EXPECT_FALSE(handle.hasSmartReference());
    EXPECT_GE(changed.count(), 1);
    undo().redo();
    EXPECT_EQ(handle.getSmartPath(), smartPath);

    // Save with content of its own.
    addChild(node, makeGroup("Body"));
    const QString saved = m_files.dir() + "/part.osb";
    handle.saveSmartReferenceAs(saved, false);
    EXPECT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(handle.getSmartPath(), QDir::toNativeSeparators(saved));
    EXPECT_EQ(handle.getSmartFileState(), Types::UpToDate);
    EXPECT_TRUE(handle.getSmartCreationDate().isValid());
    EXPECT_TRUE(handle.getSmartLastModified().isValid());
    EXPECT_TRUE(handle.isLoaded());
    EXPECT_EQ(childNames(node), std::vector<std::string>{"Body"});

    // Unload and load again from the file.
    handle.unload();
    EXPECT_EQ(handle.getState(), Types::NotLoaded);
    EXPECT_TRUE(childNames(node).empty());
    handle.load();
    EXPECT_EQ(handle.getState(), Types::Loaded);
    EXPECT_EQ(childNames(node), std::vector<std::string>{"Body"});
    EXPECT_FALSE(handle.isChanged());

    // Remove: a plain node again; undo brings the reference back.
    const ksdNode plain = s->removeReference(handle);
    EXPECT_TRUE(ksdReferenceNode(plain).isNull());
    EXPECT_EQ(ksdReferenceNode(ksTypeConverter::convertNode(node)).getSourceFileState(), Types::NoReference);

    // Undoing everything takes the node out of the scene.
    while (undo().stack().canUndo())
        undo().undo();
    EXPECT_EQ(node->getParent(), osg::NullFC);
}

TEST_F(ServiceScenario, ProjectAndOsbFilesAreRefusedAsSource)
{
    ksReferenceService* s = service();
    QSignalSpy created(s, &ksReferenceService::referenceCreated);
    const int before = undo().count();
    EXPECT_TRUE(s->createSourceReference(QString::fromStdString(m_files.path("scene.osb")), ksdNode()).isNull());
    EXPECT_TRUE(s->createSourceReference(QString::fromStdString(m_files.path("scene.zmb")), ksdNode()).isNull());
    EXPECT_EQ(created.count(), 0);
    EXPECT_EQ(undo().count(), before);
    // The suffix test is case-sensitive.
    EXPECT_FALSE(s->createSourceReference(QString::fromStdString(m_files.path("scene.OSB")), ksdNode()).isNull());
}

TEST_F(ServiceScenario, SeveralEditsWithin100msGiveOneEditStateSignal)
{
    ksReferenceService* s = service();
    QSignalSpy edited(s, &ksReferenceService::referenceEditStateChagned);
    for (int i = 0; i < 3; ++i)
        QMetaObject::invokeMethod(s, "updateModifiedState");
    EXPECT_TRUE(edited.wait(1000));
    QTest::qWait(150);
    EXPECT_EQ(edited.count(), 1);
}

} // namespace
